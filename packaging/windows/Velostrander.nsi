; The Windows installer of the agent, the settings tool and the help, for every user of a PC.
; CMake passes VERSION, BIN_DIR (the built programs and the help), ICON and OUTFILE.
;
; Silent, for mass deployment, with this PC's settings (each optional, the sample's value
; standing for one left out):
;   Velostrander-VERSION-setup.exe /S /MASTER=teacher-pc /MASTERPORT=5000 /PORT=5001 /NUMBER=07
; An existing settings file is kept unless /OVERWRITE is given. A bad value ends the installer
; before it installs anything, with exit code 2 (interactively after a message box).

Unicode true
; The programs are 64-bit, and a 64-bit Wine runs no 32-bit installer.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Velostrander"
!define SETTINGS_FILE "Velostrander_Child.ini"
!define AGENT "Velostrander_Child.exe"
!define TOOL "Velostrander_Child_Tool.exe"
!define HELP "Velostrander_Child.hlp"
; The teacher's command-line peer, for a PC that steers the others.
!define CTL "velostrander-ctl.exe"
!define FIREWALL_RULE 'name="Velostrander_Child"'
!define MENU_FOLDER "$SMPROGRAMS\Velostrander"
!define AGENT_LINK "Velostrander_Child.lnk"
!define TOOL_LINK "Velostrander 設定ツール.lnk"
; The Users group by its SID: its name differs from one language of Windows to the next.
!define USERS_SID "*S-1-5-32-545"

Name "Velostrander"
Caption "Velostrander ${VERSION} セットアップ"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Velostrander"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
BrandingText "Velostrander ${VERSION}"
ShowUninstDetails show

Var Master
Var MasterPort
Var Port
Var Number
Var Overwrite
Var Problem
; Where both programs find their settings: each shortcut starts them there.
Var SettingsFolder

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "教室の生徒用PCに Velostrander_Child (教師用コンソールからの指示を受けるエージェント) と、その設定ツール、ヘルプをインストールします。$\r$\n$\r$\nエージェントは、このPCのすべてのユーザーのログオン時に自動的に起動します。$\r$\n$\r$\n$_CLICK"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
; What the install did with the settings file stays readable.
!define MUI_FINISHPAGE_NOAUTOCLOSE
!define MUI_FINISHPAGE_TEXT "インストールが完了しました。$\r$\n$\r$\n設定ファイルは $SettingsFolder にあります。マスターのコンピュータ名、ポート、このPCのコンピュータ番号は、スタートメニューの「Velostrander 設定ツール」で変更してください。$\r$\n$\r$\nエージェントは次回のログオンから起動します。"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_JAPANESE} "ProductName" "Velostrander"
VIAddVersionKey /LANG=${LANG_JAPANESE} "FileDescription" "Velostrander セットアップ"
VIAddVersionKey /LANG=${LANG_JAPANESE} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "LegalCopyright" "Velostrander"

; The option's value into VAR when the command line $R0 has it.
!macro Option NAME VAR
  ClearErrors
  ${GetOptions} $R0 "/${NAME}=" $R1
  ${IfNot} ${Errors}
    StrCpy ${VAR} $R1
  ${EndIf}
!macroend

; $Problem names what is wrong with the port in VAR, which loses its leading zeros.
!macro CheckPort VAR WHAT
  Push ${VAR}
  Call Decimal
  Pop $R1
  StrLen $R2 $R1
  ${If} $R1 == ""
  ${OrIf} $R2 > 5
  ${OrIf} $R1 > 32767
    StrCpy $Problem "${WHAT}が正しくありません (1～32767): ${VAR}"
  ${EndIf}
  StrCpy ${VAR} $R1
!macroend

; The decimal number on the stack without its leading zeros, which NSIS would take for octal;
; "" when it is not one, or is 0.
Function Decimal
  Exch $0
  Push $1
  Push $2
  ${DoWhile} $0 != ""
    StrCpy $1 $0 1
    ${IfThen} $1 != "0" ${|} ${ExitDo} ${|}
    StrCpy $0 $0 "" 1
  ${Loop}
  StrCpy $2 0
  ${Do}
    StrCpy $1 $0 1 $2
    ${IfThen} $1 == "" ${|} ${ExitDo} ${|}
    ${If} $1 S< "0"
    ${OrIf} $1 S> "9"
      StrCpy $0 ""
      ${ExitDo}
    ${EndIf}
    IntOp $2 $2 + 1
  ${Loop}
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

Function .onInit
  SetShellVarContext all
  StrCpy $SettingsFolder "$APPDATA\Velostrander"
  StrCpy $Master "teacher-pc"
  StrCpy $MasterPort "5000"
  StrCpy $Port "5001"
  StrCpy $Number "01"
  ${GetParameters} $R0
  !insertmacro Option MASTER $Master
  !insertmacro Option MASTERPORT $MasterPort
  !insertmacro Option PORT $Port
  !insertmacro Option NUMBER $Number
  ClearErrors
  ${GetOptions} $R0 "/OVERWRITE" $R1
  ${IfNot} ${Errors}
    StrCpy $Overwrite 1
  ${EndIf}

  StrCpy $Problem ""
  !insertmacro CheckPort $MasterPort "マスターのポート番号"
  !insertmacro CheckPort $Port "このPCのポート番号"
  Push $Number
  Call Decimal
  Pop $R1
  StrLen $R2 $Number
  ${If} $R2 != 2
  ${OrIf} $R1 == ""
  ${OrIf} $R1 > 30
    StrCpy $Problem "コンピュータ番号が正しくありません (01～30): $Number"
  ${EndIf}
  ; The file is in the system's code page: a name it cannot spell would be written as "?".
  StrCpy $3 $Master
  System::Call "kernel32::WideCharToMultiByte(i 0, i 0x400, w r3, i -1, p 0, i 0, p 0, *i 0 r1) i .r2"
  ${If} $Master == ""
  ${OrIf} $1 != 0
  ${OrIf} $2 == 0
    StrCpy $Problem "マスターのコンピュータ名が正しくありません: $Master"
  ${EndIf}
  ${If} $Problem != ""
    SetErrorLevel 2
    MessageBox MB_ICONSTOP "$Problem$\r$\n$\r$\nセットアップを中止します。" /SD IDOK
    Abort
  ${EndIf}
FunctionEnd

Function WriteSettings
  ; Written beside the file and put in its place in one step: an install cut short leaves the
  ; old settings whole.
  StrCpy $1 "$SettingsFolder\${SETTINGS_FILE}"
  ClearErrors
  FileOpen $0 "$1.new" w
  ${If} ${Errors}
    SetErrorLevel 2
    Abort "設定ファイルを書き込めません: $1.new"
  ${EndIf}
  ; FileWrite writes the system's code page, as both programs read it.
  FileWrite $0 "[Velostrander]$\r$\n"
  FileWrite $0 "MasterPortx=$MasterPort$\r$\n"
  FileWrite $0 "MyHostPortx=$Port$\r$\n"
  FileWrite $0 "MasterCompx=$Master$\r$\n"
  FileWrite $0 "MyCompNumxx=$Number$\r$\n"
  FileClose $0
  ; MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH
  StrCpy $3 "$1.new"
  System::Call "kernel32::MoveFileExW(w r3, w r1, i 9) i .r2"
  ${If} $2 == 0
    Delete "$1.new"
    SetErrorLevel 2
    Abort "設定ファイルを置き換えられません: $1"
  ${EndIf}
  DetailPrint "設定ファイルを書き込みました: $1"
FunctionEnd

Section
  SetOutPath "$INSTDIR"
  File "${BIN_DIR}/${AGENT}"
  File "${BIN_DIR}/${TOOL}"
  File "${BIN_DIR}/${HELP}"
  File "${BIN_DIR}/${CTL}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  CreateDirectory "$SettingsFolder"
  ; The file is never read here: one that is there stays byte for byte, whatever its encoding
  ; (UTF-8 behind a byte-order mark too), unless /OVERWRITE puts a new one in its place.
  ${If} $Overwrite == 1
  ${OrIfNot} ${FileExists} "$SettingsFolder\${SETTINGS_FILE}"
    Call WriteSettings
  ${Else}
    DetailPrint "既存の設定ファイルはそのまま使います: $SettingsFolder\${SETTINGS_FILE}"
  ${EndIf}
  ; The tool, run by any user, rewrites the file by a new one beside it. A PC where this fails
  ; still gets the programs (Wine's icacls changes nothing, and says it did).
  nsExec::ExecToLog '"$SYSDIR\icacls.exe" "$SettingsFolder" /grant ${USERS_SID}:(OI)(CI)M'
  Pop $0
  ${If} $0 != 0
    DetailPrint "警告: Usersグループに $SettingsFolder への書き込みを許可できませんでした ($0)"
  ${EndIf}

  ; Windows' firewall lets in no datagram for a program it has not been told of, and asks about
  ; one only an administrator: the agent started at a student's logon would never hear the
  ; console. Limit the rule to the teacher's PC where the network is shared (docs/security.md).
  nsExec::ExecToLog 'netsh advfirewall firewall delete rule ${FIREWALL_RULE}'
  Pop $0
  nsExec::ExecToLog 'netsh advfirewall firewall add rule ${FIREWALL_RULE} dir=in action=allow protocol=UDP program="$INSTDIR\${AGENT}" enable=yes'
  Pop $0
  ${If} $0 != 0
    DetailPrint "警告: ファイアウォールに受信の規則を追加できませんでした ($0)"
  ${EndIf}

  ; The start folder of every shortcut below.
  SetOutPath "$SettingsFolder"
  CreateShortCut "$SMSTARTUP\${AGENT_LINK}" "$INSTDIR\${AGENT}"
  CreateDirectory "${MENU_FOLDER}"
  CreateShortCut "${MENU_FOLDER}\${AGENT_LINK}" "$INSTDIR\${AGENT}"
  CreateShortCut "${MENU_FOLDER}\${TOOL_LINK}" "$INSTDIR\${TOOL}"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Velostrander"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Velostrander"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${AGENT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Function un.onInit
  SetShellVarContext all
FunctionEnd

; The settings file and its folder stay, for a later install on the same PC.
Section Uninstall
  Delete "$SMSTARTUP\${AGENT_LINK}"
  Delete "${MENU_FOLDER}\${AGENT_LINK}"
  Delete "${MENU_FOLDER}\${TOOL_LINK}"
  RMDir "${MENU_FOLDER}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; A running agent goes at the next restart.
  Delete /REBOOTOK "$INSTDIR\${AGENT}"
  Delete /REBOOTOK "$INSTDIR\${TOOL}"
  Delete "$INSTDIR\${HELP}"
  Delete "$INSTDIR\${CTL}"
  nsExec::ExecToLog 'netsh advfirewall firewall delete rule ${FIREWALL_RULE}'
  Pop $0
  Delete "$INSTDIR\Uninstall.exe"
  ; Last, so that the folder's going says the uninstaller is done.
  RMDir /REBOOTOK "$INSTDIR"
SectionEnd
