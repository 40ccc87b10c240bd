; The Windows installer of the agent, the settings tool and the help, for every user of a PC,
; and of the teacher's console, for the teacher's PC, which runs no agent.
; CMake passes VERSION, BIN_DIR (the built programs and the help), ICON, OUTFILE, and the
; console's PAGE_PORT and CALL_PORT.
;
; Silent, for mass deployment, with this PC's settings (each optional, the sample's value
; standing for one left out):
;   Velostrander-VERSION-setup.exe /S /MASTER=teacher-pc /MASTERPORT=5000 /PORT=5001 /NUMBER=07
; and /MASTERONLY=1 for the agent's sender check, /TEACHERIP= and /FIREWALLPROFILE= to narrow a
; new firewall rule. An existing settings file is kept unless /OVERWRITE is given. A bad value,
; or a settings folder that is a link, ends the installer before it installs anything, with
; exit code 2 (interactively after a message box).
;
; The teacher's PC, silently: /CONSOLEONLY installs the console and velostrander-ctl alone, with
; /CALLPORT= for its firewall rule (the port the agents' MasterPortx names).

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
!define CONSOLE "velostrander-console.exe"
!define CONSOLE_LINK "Velostrander Console.lnk"
!define CONSOLE_RULE 'name="Velostrander Console"'
; http.sys lets Users take the console's address, which only administrators may take otherwise.
!define CONSOLE_URL "http://127.0.0.1:${PAGE_PORT}/"
; Groups by their SIDs: their names differ from one language of Windows to the next.
!define ADMINISTRATORS_SID "*S-1-5-32-544"
!define SYSTEM_SID "*S-1-5-18"
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
Var MasterOnly
; Where the firewall rule, when the installer adds it, lets datagrams in from.
Var TeacherIp
Var FirewallProfile
Var Problem
Var CallPort
; Where both programs find their settings: each shortcut starts them there.
Var SettingsFolder

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "教室の生徒用PCに Velostrander_Child (教師用コンソールからの指示を受けるエージェント) と、その設定ツール、ヘルプをインストールします。$\r$\n$\r$\nエージェントは、このPCのすべてのユーザーのログオン時に自動的に起動します。$\r$\n$\r$\n先生のPCには、エージェントの代わりに Velostrander Console (教師用コンソール) を選んでください。$\r$\n$\r$\n$_CLICK"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
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

; $R1 is the first position in TEXT of a character outside SET ("" for none).
!macro Outside TEXT SET
  StrCpy $R1 "${TEXT}"
  StrCpy $R2 "${SET}"
  System::Call "shlwapi::StrSpnW(w R1, w R2) i .R3"
  StrLen $R2 $R1
  ${IfThen} $R3 = $R2 ${|} StrCpy $R3 "" ${|}
  StrCpy $R1 $R3
!macroend

; 1 when the list on the stack names firewall profiles only, one or more, comma-separated, as
; netsh takes them; else "".
Function CheckProfiles
  Exch $0
  Push $1
  Push $2
  Push $3
  StrCpy $1 ""
  StrCpy $3 0
  ${Do}
    StrCpy $2 $0 1 $3
    IntOp $3 $3 + 1
    ${If} $2 != ","
    ${AndIf} $2 != ""
      StrCpy $1 "$1$2"
      ${Continue}
    ${EndIf}
    ${If} $1 != "domain"
    ${AndIf} $1 != "private"
    ${AndIf} $1 != "public"
    ${AndIf} $1 != "any"
      StrCpy $0 ""
      ${ExitDo}
    ${EndIf}
    StrCpy $1 ""
    ${IfThen} $2 == "" ${|} StrCpy $0 1 ${|}
  ${LoopUntil} $2 == ""
  Pop $3
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
  StrCpy $MasterOnly "0"
  StrCpy $TeacherIp "any"
  StrCpy $FirewallProfile "any"
  StrCpy $CallPort "${CALL_PORT}"
  ${GetParameters} $R0
  !insertmacro Option MASTER $Master
  !insertmacro Option MASTERPORT $MasterPort
  !insertmacro Option PORT $Port
  !insertmacro Option NUMBER $Number
  !insertmacro Option MASTERONLY $MasterOnly
  !insertmacro Option TEACHERIP $TeacherIp
  !insertmacro Option FIREWALLPROFILE $FirewallProfile
  !insertmacro Option CALLPORT $CallPort
  Call PickComponents
  ClearErrors
  ${GetOptions} $R0 "/OVERWRITE" $R1
  ${IfNot} ${Errors}
    StrCpy $Overwrite 1
  ${EndIf}

  StrCpy $Problem ""
  !insertmacro CheckPort $MasterPort "マスターのポート番号"
  !insertmacro CheckPort $Port "このPCのポート番号"
  !insertmacro CheckPort $CallPort "呼出しのポート番号"
  Push $Number
  Call Decimal
  Pop $R1
  StrLen $R2 $Number
  ${If} $R2 != 2
  ${OrIf} $R1 == ""
  ${OrIf} $R1 > 30
    StrCpy $Problem "コンピュータ番号が正しくありません (01～30): $Number"
  ${EndIf}
  ${If} $MasterOnly != 0
  ${AndIf} $MasterOnly != 1
    StrCpy $Problem "MASTERONLY は 0 か 1 です: $MasterOnly"
  ${EndIf}
  ; Both go into netsh's command line: a blank or a quote would add words of their own.
  !insertmacro Outside $TeacherIp "0123456789.:,/-abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
  ${If} $TeacherIp == ""
  ${OrIf} $R1 != ""
    StrCpy $Problem "先生のPCのアドレスが正しくありません: $TeacherIp"
  ${EndIf}
  Push $FirewallProfile
  Call CheckProfiles
  Pop $R1
  ${If} $R1 != 1
    StrCpy $Problem "ファイアウォールのプロファイルが正しくありません (domain、private、public、any をコンマで区切って): $FirewallProfile"
  ${EndIf}
  ; The file is in the system's code page: a name it cannot spell would be written as "?". A
  ; line break would start setting lines of the value's own.
  StrCpy $3 $Master
  System::Call "kernel32::WideCharToMultiByte(i 0, i 0x400, w r3, i -1, p 0, i 0, p 0, *i 0 r1) i .r2"
  StrCpy $4 "$\r$\n"
  System::Call "shlwapi::StrCSpnW(w r3, w r4) i .r5"
  StrLen $6 $Master
  ${If} $Master == ""
  ${OrIf} $1 != 0
  ${OrIf} $2 == 0
  ${OrIf} $5 != $6
    StrCpy $Problem "マスターのコンピュータ名が正しくありません: $Master"
  ${EndIf}
  ${If} $Problem != ""
    SetErrorLevel 2
    MessageBox MB_ICONSTOP "$Problem$\r$\n$\r$\nセットアップを中止します。" /SD IDOK
    Abort
  ${EndIf}
FunctionEnd

; Ends the install (exit code 2) when PATH is a junction, a symbolic link or another reparse
; point: through one, a student could have the installer write or grant rights where it chose.
!macro RefuseLink PATH
  StrCpy $R1 "${PATH}"
  System::Call "kernel32::GetFileAttributesW(w R1) i .R2"
  IntOp $R3 $R2 & 0x400 ; FILE_ATTRIBUTE_REPARSE_POINT
  ${If} $R2 != -1
  ${AndIf} $R3 != 0
    SetErrorLevel 2
    MessageBox MB_ICONSTOP "$R1 はリンク (ジャンクションまたはシンボリック リンク) です。リンクの先に書き込んだり権限を与えたりしないよう、セットアップを中止します。$\r$\n$\r$\nリンクを削除してから、もう一度実行してください。" /SD IDOK
    Abort "リンクのため中止しました: $R1"
  ${EndIf}
!macroend

; icacls on PATH, the link itself should one have taken its place; ends the install where it
; fails, as the settings would stay open to others.
!macro Icacls PATH ARGUMENTS
  nsExec::ExecToLog '"$SYSDIR\icacls.exe" "${PATH}" ${ARGUMENTS} /L'
  Pop $R1
  ${If} $R1 != 0
    SetErrorLevel 2
    Abort "${PATH} のアクセス権を設定できません ($R1)"
  ${EndIf}
!macroend

Function WriteSettings
  ; Written beside the file and put in its place in one step: an install cut short leaves the
  ; old settings whole. A new file, never one that is there (a link left in its place, or one
  ; that another program holds): CREATE_NEW, FILE_FLAG_OPEN_REPARSE_POINT.
  StrCpy $1 "$SettingsFolder\${SETTINGS_FILE}"
  StrCpy $3 "$1.new"
  Delete $3
  System::Call "kernel32::CreateFileW(w r3, i 0x40000000, i 0, p 0, i 1, i 0x200080, p 0) p .r0"
  ${If} $0 = -1
    SetErrorLevel 2
    Abort "設定ファイルを書き込めません: $3"
  ${EndIf}
  ; FileWrite writes the system's code page, as both programs read it.
  FileWrite $0 "[Velostrander]$\r$\n"
  FileWrite $0 "MasterPortx=$MasterPort$\r$\n"
  FileWrite $0 "MyHostPortx=$Port$\r$\n"
  FileWrite $0 "MasterCompx=$Master$\r$\n"
  FileWrite $0 "MyCompNumxx=$Number$\r$\n"
  ${IfThen} $MasterOnly == 1 ${|} FileWrite $0 "MasterOnlyx=1$\r$\n" ${|}
  FileClose $0
  ; MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH
  System::Call "kernel32::MoveFileExW(w r3, w r1, i 9) i .r2"
  ${If} $2 == 0
    Delete "$1.new"
    SetErrorLevel 2
    Abort "設定ファイルを置き換えられません: $1"
  ${EndIf}
  DetailPrint "設定ファイルを書き込みました: $1"
FunctionEnd

Section "Velostrander_Child (生徒用PCのエージェント)" AgentSection
  ; The settings first, so that a folder that is a link stops the install before anything is
  ; installed. Users read them; only administrators (and the system) write them: every agent
  ; reads them at logon. The folder's own access, since ProgramData lets Users make files and
  ; folders in it; its owner too, who could change that access (a student who made the folder
  ; before the first install); both whatever they were before (earlier versions let Users
  ; change the folder).
  CreateDirectory "$SettingsFolder"
  !insertmacro RefuseLink "$SettingsFolder"
  !insertmacro Icacls "$SettingsFolder" "/setowner ${ADMINISTRATORS_SID}"
  !insertmacro Icacls "$SettingsFolder" "/inheritance:r /grant:r ${ADMINISTRATORS_SID}:(OI)(CI)F ${SYSTEM_SID}:(OI)(CI)F ${USERS_SID}:(OI)(CI)RX"
  ; Again, now that no student can change the folder: it may have become a link meanwhile.
  !insertmacro RefuseLink "$SettingsFolder"
  !insertmacro RefuseLink "$SettingsFolder\${SETTINGS_FILE}"
  !insertmacro RefuseLink "$SettingsFolder\${SETTINGS_FILE}.new"
  ; The file is never read here: one that is there stays byte for byte, whatever its encoding
  ; (UTF-8 behind a byte-order mark too), unless /OVERWRITE puts a new one in its place.
  ${If} $Overwrite == 1
  ${OrIfNot} ${FileExists} "$SettingsFolder\${SETTINGS_FILE}"
    Call WriteSettings
  ${Else}
    DetailPrint "既存の設定ファイルはそのまま使います: $SettingsFolder\${SETTINGS_FILE}"
  ${EndIf}
  ; The folder's access, and nothing of its own (a file that a student saved keeps their rights).
  !insertmacro Icacls "$SettingsFolder\${SETTINGS_FILE}" "/reset"
  !insertmacro Icacls "$SettingsFolder\${SETTINGS_FILE}" "/setowner ${ADMINISTRATORS_SID}"

  SetOutPath "$INSTDIR"
  File "${BIN_DIR}/${AGENT}"
  File "${BIN_DIR}/${TOOL}"
  File "${BIN_DIR}/${HELP}"

  ; Windows' firewall lets in no datagram for a program it has not been told of, and asks about
  ; one only an administrator: the agent started at a student's logon would never hear the
  ; console. On any network profile unless told otherwise: classroom networks are often Public.
  ; A rule that is there stays as it is: an admin may have narrowed it (docs/security.md).
  nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall show rule ${FIREWALL_RULE}'
  Pop $0
  ${If} $0 == 0
    DetailPrint "ファイアウォールの既存の規則はそのまま使います (/TEACHERIP= と /FIREWALLPROFILE= は新しい規則にだけ使います)"
  ${Else}
    nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall add rule ${FIREWALL_RULE} dir=in action=allow protocol=UDP program="$INSTDIR\${AGENT}" enable=yes profile=$FirewallProfile remoteip=$TeacherIp'
    Pop $0
    ${If} $0 != 0
      DetailPrint "警告: ファイアウォールに受信の規則を追加できませんでした ($0)"
    ${EndIf}
  ${EndIf}

  ; The start folder of every shortcut below.
  SetOutPath "$SettingsFolder"
  CreateShortCut "$SMSTARTUP\${AGENT_LINK}" "$INSTDIR\${AGENT}"
  CreateDirectory "${MENU_FOLDER}"
  CreateShortCut "${MENU_FOLDER}\${AGENT_LINK}" "$INSTDIR\${AGENT}"
  CreateShortCut "${MENU_FOLDER}\${TOOL_LINK}" "$INSTDIR\${TOOL}"
SectionEnd

; The teacher's PC: no agent, no settings of the agents', no autostart.
Section /o "Velostrander Console (先生のPCの教師用コンソール)" ConsoleSection
  SetOutPath "$INSTDIR"
  File "${BIN_DIR}/${CONSOLE}"
  CreateDirectory "${MENU_FOLDER}"
  CreateShortCut "${MENU_FOLDER}\${CONSOLE_LINK}" "$INSTDIR\${CONSOLE}"
  ; Without it no call reaches the teacher; one that is there stays, as the agent's does.
  nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall show rule ${CONSOLE_RULE}'
  Pop $0
  ${If} $0 != 0
    nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall add rule ${CONSOLE_RULE} dir=in action=allow protocol=UDP localport=$CallPort program="$INSTDIR\${CONSOLE}" enable=yes profile=any'
    Pop $0
    ${IfThen} $0 != 0 ${|} DetailPrint "警告: ファイアウォールに受信の規則を追加できませんでした ($0)" ${|}
  ${EndIf}
  ; Users by their SID, as in icacls above; GX lets them take the address, nothing more.
  nsExec::ExecToLog '"$SYSDIR\netsh.exe" http add urlacl url=${CONSOLE_URL} sddl=D:(A;;GX;;;S-1-5-32-545)'
  Pop $0
  ${IfThen} $0 != 0 ${|} DetailPrint "${CONSOLE_URL} の予約はそのまま使います ($0)" ${|}
SectionEnd

Section "-Both"
  SetOutPath "$INSTDIR"
  File "${BIN_DIR}/${CTL}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Velostrander"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Velostrander"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; After the sections, whose numbers it needs: /CONSOLEONLY in the command line $R0 picks the
; console in place of the agent.
Function PickComponents
  ClearErrors
  ${GetOptions} $R0 "/CONSOLEONLY" $R1
  ${IfNot} ${Errors}
    SectionSetFlags ${AgentSection} 0
    SectionSetFlags ${ConsoleSection} ${SF_SELECTED}
  ${EndIf}
FunctionEnd

Function un.onInit
  SetShellVarContext all
FunctionEnd

; The settings file and its folder stay, for a later install on the same PC.
Section Uninstall
  Delete "$SMSTARTUP\${AGENT_LINK}"
  Delete "${MENU_FOLDER}\${AGENT_LINK}"
  Delete "${MENU_FOLDER}\${TOOL_LINK}"
  Delete "${MENU_FOLDER}\${CONSOLE_LINK}"
  RMDir "${MENU_FOLDER}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; A running agent goes at the next restart.
  Delete /REBOOTOK "$INSTDIR\${AGENT}"
  Delete /REBOOTOK "$INSTDIR\${TOOL}"
  Delete "$INSTDIR\${HELP}"
  Delete "$INSTDIR\${CTL}"
  Delete /REBOOTOK "$INSTDIR\${CONSOLE}"
  ; What a PC did not have fails, to no harm.
  nsExec::ExecToLog 'netsh advfirewall firewall delete rule ${FIREWALL_RULE}'
  Pop $0
  nsExec::ExecToLog 'netsh advfirewall firewall delete rule ${CONSOLE_RULE}'
  Pop $0
  nsExec::ExecToLog 'netsh http delete urlacl url=${CONSOLE_URL}'
  Pop $0
  Delete "$INSTDIR\Uninstall.exe"
  ; Last, so that the folder's going says the uninstaller is done.
  RMDir /REBOOTOK "$INSTDIR"
SectionEnd
