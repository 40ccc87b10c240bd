#include "tool/Form1.h"

#include <string>

#include "about/Texts.h"
#include "platform/Paths.h"
#include "settings/Problems.h"
#include "settings/SettingsFormat.h"
#include "tool/Program.h"
#include "tool/Texts.h"

namespace tool {
namespace {

constexpr int kNumbers = 30;

struct Field {
  settings::Key key;
  const char* box;
  const char* label;
};

// Each key's control, and the caption of the label that names it to the user.
constexpr Field kFields[] = {{settings::Key::MasterPort, "Text1", "Masterのポート番号"},
                             {settings::Key::MyHostPort, "Text2", "このマシンのポート番号"},
                             {settings::Key::MasterComp, "Text3", "Masterのコンピュータ名"},
                             {settings::Key::MyCompNum, "Combo1", "このマシンの番号"}};

const Field& FieldOf(settings::Key key) {
  for (const Field& field : kFields) {
    if (field.key == key) return field;
  }
  return kFields[0];
}

}  // namespace

Form1::Form1(Program& program) : program_(program) {}

platform::FormSpec Form1::Declaration() {
  using platform::ControlKind;
  platform::FormSpec form;
  form.name = "Form1";
  form.caption = std::string(kProgramTitle);
  form.programIcon = true;
  form.clientWidth = 6600;
  form.clientHeight = 1320;
  // The face and size its places were measured in: the labels fit their boxes in it.
  form.font = {"ＭＳ Ｐゴシック", 9};
  const auto box = [](const char* name, ControlKind kind, platform::Geometry at, int tab) {
    platform::ControlSpec control = platform::Control(name, kind, at);
    control.tabIndex = tab;
    return control;
  };
  platform::ControlSpec list = box("Combo1", ControlKind::DropDownList, {4920, 480, 1455, 300}, 3);
  list.onClick = [this] { Combo1_Click(); };
  form.controls = {
      platform::Label("Label1", {240, 120, 1575, 255}, FieldOf(settings::Key::MasterPort).label),
      box("Text1", ControlKind::TextBox, {2160, 120, 615, 270}, 0),
      platform::Label("Label3", {3000, 120, 1815, 255}, FieldOf(settings::Key::MasterComp).label),
      box("Text3", ControlKind::TextBox, {4920, 120, 1455, 270}, 1),
      platform::Label("Label2", {240, 480, 1815, 255}, FieldOf(settings::Key::MyHostPort).label),
      box("Text2", ControlKind::TextBox, {2160, 480, 615, 270}, 2),
      platform::Label("Label4", {3000, 480, 1695, 255}, FieldOf(settings::Key::MyCompNum).label),
      list,
      platform::Button("Command2", "設定", {120, 840, 1575, 375}, 4, [this] { Command2_Click(); }),
      platform::Button("Command1", "終了", {5280, 840, 1095, 375}, 5, [this] { Command1_Click(); }),
  };
  form.menus = {{"Menu10", "ﾌｧｲﾙ", {{"Menu11", "終了", {}, [this] { Menu11_Click(); }}}, {}},
                {"Menu00",
                 "ヘルプ",
                 {{"Menu02", "ヘルプ", {}, [this] { Menu02_Click(); }},
                  {"Menu01", "About...", {}, [this] { Menu01_Click(); }}},
                 {}}};
  // The title bar's close leaves as the menu's "終了" does.
  form.onClose = [this] { Menu11_Click(); };
  return form;
}

void Form1::Load() {
  window_ = program_.platform.desktop().createWindow(Declaration());
  Form_Load();
  if (window_) window_->setVisible(true);
}

void Form1::Form_Load() {
  for (int index = 0; index < kNumbers; ++index) window_->addItem("Combo1", TwoDigits(index));
  const platform::FileBytes file = program_.platform.files().read(program_.settingsFile);
  if (file.result == settings::OpenResult::NotFound) return Message(kNoFileAtLoad);
  if (file.result == settings::OpenResult::CannotOpen) {
    return Message(
        settings::DescribeUnreadable(program_.settingsFile,
                                     "項目は空欄のままです。ファイルを開けるようになってから、"
                                     "このツールを起動し直してください。"));
  }
  const Loaded loaded = LoadSettings(file.bytes, program_.platform.codePage());
  ShowFields(loaded.fields);
  program_.about.SetComputerNumberLabel(std::string(about::kComputerNumberLabel) + loaded.number);
  if (!loaded.problems.empty()) {
    Message(settings::DescribeProblems(program_.settingsFile, loaded.problems,
                                       "読み取れなかった項目は空欄のままです。値を入れて"
                                       "「設定」を押すと、その行が書き直されます。"));
  }
}

void Form1::ShowFields(const Fields& fields) {
  window_->setCaption("Text1", fields.masterPort);
  window_->setCaption("Text2", fields.myHostPort);
  window_->setCaption("Text3", fields.masterComp);
  window_->setListIndex("Combo1", fields.listIndex);
}

Fields Form1::ReadControls() const {
  return {window_->text("Text1"), window_->text("Text2"), window_->text("Text3"),
          window_->listIndex("Combo1")};
}

void Form1::Combo1_Click() {
  program_.about.SetComputerNumberLabel(std::string(about::kComputerNumberLabel) +
                                        TwoDigits(window_->listIndex("Combo1")));
}

// The settings file is never found absent, partial or mixed: the new text takes its place in
// one step, or it stays as it was.
void Form1::Command2_Click() {
  const platform::FileBytes file = program_.platform.files().read(program_.settingsFile);
  if (file.result == settings::OpenResult::NotFound) return Message(kNoFileAtSave);
  if (file.result == settings::OpenResult::CannotOpen) {
    return Message(settings::DescribeUnreadable(program_.settingsFile, "設定は保存していません。"));
  }
  const Saved saved = SaveSettings(file.bytes, ReadControls(), program_.platform.codePage());
  if (saved.unencodable) {
    return Message("「" + std::string(FieldOf(*saved.unencodable).label) +
                   "」に、改行か、このコンピュータの文字コードで保存できない文字があります。\n"
                   "設定は保存していません。");
  }
  if (const auto failure = program_.platform.files().replace(program_.settingsFile,
                                                             program_.temporaryFile, saved.bytes)) {
    ReportSaveFailure(*failure);
  }
}

// The save that loses to another at the same moment cannot tell the file unchanged: the other
// may be replacing it.
void Form1::ReportSaveFailure(const platform::FileWriteFailure& failure) {
  using Step = platform::FileWriteFailure::Step;
  const std::string unchanged =
      "設定ファイル「" + platform::FileName(program_.settingsFile) + "」は元のままです。";
  const auto failed = [&](std::string_view step) {
    return std::string(step) + "（" + failure.reason + "）。\n" + unchanged;
  };
  std::string why;
  switch (failure.step) {
    case Step::Held:
      why =
          "一時ファイル「Temp.tmp」を、ほかの設定ツールが保存に使っています。\nこの画面の設定は"
          "保存していません。保存が終わってから、もう一度「設定」を押してください。";
      break;
    case Step::Linked:
      why =
          "一時ファイル「Temp.tmp」の名前で、ほかのファイルへのリンクが置かれています。リンク"
          "の先には書き込みません。\n" +
          unchanged + "「Temp.tmp」を削除してから、もう一度「設定」を押してください。";
      break;
    case Step::Create:
      why = failed("一時ファイル「Temp.tmp」を作れません");
      break;
    case Step::Write:
      why = failed("一時ファイル「Temp.tmp」に書き込めません");
      break;
    case Step::Flush:
      why = failed("一時ファイル「Temp.tmp」をディスクに書き出せません");
      break;
    case Step::Replace:
      why = failed("設定ファイルを新しい内容に置き換えられません");
      break;
  }
  Message("設定を保存できませんでした。\n" + why);
}

void Form1::Message(std::string_view text) {
  program_.platform.desktop().showMessage(text, kMessageTitle);
}

void Form1::Command1_Click() {
  window_.reset();
  program_.platform.desktop().endProgram();
}

// An About box on screen keeps the program until it is closed; one that only holds the
// computer number, hidden, does not.
void Form1::Menu11_Click() {
  window_.reset();
  if (!program_.about.shown()) program_.about.Unload();
}

void Form1::Menu01_Click() {
  program_.about.Show();
}

void Form1::Menu02_Click() {
  program_.help.Show(platform::JoinPath(program_.platform.programs().ownFolder(), kHelpFile));
}

}  // namespace tool
