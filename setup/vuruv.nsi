; The setup program of Kyoro直播管家: a per-machine install of the Windows
; program folder (build-windows/deploy) under Program Files, with shortcuts,
; an uninstall entry and an uninstaller. Built by setup/KyPackage.cmake, which
; defines on makensis' command line:
;   KY_VERSION          the version of deault.data without its "V" (1.0.0)
;   KY_VERSION_QUAD     the same with four numbers (1.0.0.0)
;   KY_DEPLOY           the program folder to ship
;   KY_FILES            the generated file list (KyRemoveFiles, KyRemoveEmptyFolders)
;   KY_SIZE_KB          the size of the shipped files in KiB
;   KY_HELPER           kysetuphelper.exe
;   KY_UNINSTALLER      kyuninstall.exe, installed as uninstall.exe
;   KY_ICON             the program's icon
;   KY_PICTURES         the welcome and header pictures as BMP files, one per
;                       display density (setup_welcome-96.bmp to -240.bmp)
;   KY_OUTFILE          the package to write
;
; Silent use, as the streaming tools' installers: "setup.exe /S /D=C:\folder"
; (/D= last, without quotes). "/S /RESTART /D=..." (what VURuv runs to
; update itself) also starts the program again once the update succeeded,
; as the user of the desktop rather than elevated. Exit codes, of the setup and the uninstaller:
;   0  done
;   1  cancelled by the user
;   2  stopped; the installed copy is as it was (a file could not be
;      replaced or removed, a running copy did not quit, the disk is full)
;   3  another setup or uninstaller of this program ran all the while it
;      waited (KY_WAIT_SECONDS); nothing was touched
;   4  the folder cannot be the program folder (a file, or below one), or
;      the program is installed in another folder (the message names it);
;      nothing was touched
;
; One setup or uninstaller runs at a time on the machine: each holds the
; named mutex KY_MUTEX from its start to its end, and a second one waits for
; it first.
;
; Updating over an installed copy: every program running from the folder is
; asked to quit first (VURuv takes WM_CLOSE on a hidden window); the new
; files are unpacked beside the old ones, then the helper swaps them in under
; a journal (setup/kysetupfiles.h): killed half-way, the next setup or
; uninstaller completes the swap before anything else; a file that refuses
; to move has every file put back. What the previous version shipped and
; this one does not is removed. Nothing of the user's is replaced:
; download\, module\, tools\ and the crash dumps stay.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestSupportedOS all
ManifestDPIAware true
AllowSkipFiles off

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "Sections.nsh"
!include "${KY_FILES}"

!define KY_NAME "Kyoro直播管家"
!define KY_PUBLISHER "Kyoro"
!define KY_UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VURuv"
!define KY_DEFAULT_DIR "$PROGRAMFILES64\VURuv"
; How long a running copy gets to quit before the user is asked (or, when
; silent, before it is ended).
!define KY_QUIT_SECONDS 15
; Held by the one setup or uninstaller that runs; how long another waits.
!define KY_MUTEX "Global\VURuvSetup"
!define KY_WAIT_SECONDS 60

Name "${KY_NAME}"
OutFile "${KY_OUTFILE}"
InstallDir "${KY_DEFAULT_DIR}"
BrandingText "${KY_NAME} ${KY_VERSION}"
ShowInstDetails show
ShowUninstDetails show

!define MUI_ICON "${KY_ICON}"
!define MUI_UNICON "${KY_ICON}"
!define MUI_ABORTWARNING
!define MUI_UNABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC

; The pages are DPI-aware (ManifestDPIAware): at 150 % Windows lays them out
; at 150 % instead of stretching a 96-DPI bitmap of them. The welcome and
; header pictures are the program's own, drawn for each density; the one for
; the display's DPI replaces the 96-DPI one before the pages show
; (kyPicturesForDpi), so none is resampled by more than a few pixels.
!define MUI_WELCOMEFINISHPAGE_BITMAP "${KY_PICTURES}\setup_welcome-96.bmp"
!define MUI_HEADERIMAGE
!define MUI_HEADERIMAGE_RIGHT
!define MUI_HEADERIMAGE_BITMAP "${KY_PICTURES}\setup_header-96.bmp"
!define MUI_CUSTOMFUNCTION_GUIINIT kyPicturesForDpi
!define MUI_CUSTOMFUNCTION_UNGUIINIT un.kyPicturesForDpi

!insertmacro MUI_PAGE_WELCOME
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE kyDirectoryLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "SimpChinese"

VIProductVersion "${KY_VERSION_QUAD}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductName" "${KY_NAME}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "CompanyName" "${KY_PUBLISHER}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileDescription" "${KY_NAME} 安装程序"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileVersion" "${KY_VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductVersion" "${KY_VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "LegalCopyright" "${KY_PUBLISHER}"

; The display's DPI in $0 (LOGPIXELSX of the screen).
!macro KY_DISPLAY_DPI
  System::Call 'user32::GetDC(p 0) p .r1'
  System::Call 'gdi32::GetDeviceCaps(p r1, i 88) i .r0'
  System::Call 'user32::ReleaseDC(p 0, p r1)'
!macroend

; Puts the pictures drawn for DPI in place of the 96-DPI ones MUI unpacked.
!macro KY_PICTURES_AT DPI WELCOME
  !if ${WELCOME} == 1
    File "/oname=$PLUGINSDIR\modern-wizard.bmp" "${KY_PICTURES}\setup_welcome-${DPI}.bmp"
  !endif
  File "/oname=$PLUGINSDIR\modern-header.bmp" "${KY_PICTURES}\setup_header-${DPI}.bmp"
  SetBrandingImage /IMGID=1046 /RESIZETOFIT "$PLUGINSDIR\modern-header.bmp"
!macroend

; The Chinese dialog font makes the picture controls about a sixth larger
; than the 96-DPI pictures: each display density takes the pictures drawn
; for the next one up, which the pages then shrink a little rather than
; enlarge.
!macro KY_PICTURES_FOR_DPI un WELCOME
Function ${un}kyPicturesForDpi
  !insertmacro KY_DISPLAY_DPI
  ${If} $0 >= 180
    !insertmacro KY_PICTURES_AT 240 ${WELCOME}
  ${ElseIf} $0 >= 156
    !insertmacro KY_PICTURES_AT 192 ${WELCOME}
  ${ElseIf} $0 >= 132
    !insertmacro KY_PICTURES_AT 168 ${WELCOME}
  ${ElseIf} $0 >= 108
    !insertmacro KY_PICTURES_AT 144 ${WELCOME}
  ${Else}
    !insertmacro KY_PICTURES_AT 120 ${WELCOME}
  ${EndIf}
FunctionEnd
!macroend
!insertmacro KY_PICTURES_FOR_DPI "" 1
!insertmacro KY_PICTURES_FOR_DPI "un." 0

; Asks the programs running from $INSTDIR to quit. When they do not: the
; user may retry or stop; a silent run ends them. Aborts when they still run.
!macro KY_CLOSE_RUNNING un
Function ${un}kyCloseRunning
  DetailPrint "正在关闭运行中的 ${KY_NAME}……"
  retry:
  ExecWait '"$PLUGINSDIR\kysetuphelper.exe" close "$INSTDIR" ${KY_QUIT_SECONDS}' $0
  ${If} $0 == 0
    Return
  ${EndIf}
  ${If} ${Silent}
    ExecWait '"$PLUGINSDIR\kysetuphelper.exe" kill "$INSTDIR"' $0
    ${If} $0 == 0
      Return
    ${EndIf}
  ${Else}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${KY_NAME} 仍在运行。请在托盘菜单中选择“退出”，然后点“重试”。" IDRETRY retry
  ${EndIf}
  SetErrorLevel 2
  Abort "${KY_NAME} 仍在运行，未做任何更改。"
FunctionEnd
!macroend
!insertmacro KY_CLOSE_RUNNING ""
!insertmacro KY_CLOSE_RUNNING "un."

; Waits until no other setup or uninstaller of this program runs, then holds
; the mutex until this process ends (a killed holder's mutex is released by
; the system). Quits with exit code 3 when the other one does not end in time.
!macro KY_ONE_AT_A_TIME
  System::Call 'kernel32::CreateMutexW(p 0, i 0, w "${KY_MUTEX}") p .r0'
  ${If} $0 != 0
    System::Call 'kernel32::WaitForSingleObject(p r0, i ${KY_WAIT_SECONDS}000) i .r1'
    ${If} $1 = 0x102 ; WAIT_TIMEOUT
      MessageBox MB_OK|MB_ICONSTOP "另一个 ${KY_NAME} 安装或卸载程序正在运行。请等它结束后再试。" /SD IDOK
      SetErrorLevel 3
      Quit
    ${EndIf}
  ${EndIf}
!macroend

; $0: "" when $INSTDIR can be the program folder, else why not.
Function kyFolderProblem
  StrCpy $0 ""
  ExecWait '"$PLUGINSDIR\kysetuphelper.exe" checkfolder "$INSTDIR"' $1
  ${If} $1 <> 0
    StrCpy $0 "“$INSTDIR”不是文件夹，无法安装到这里。"
    Return
  ${EndIf}
  ; One copy per machine: a second one elsewhere would take over the entry
  ; and leave the first without an uninstaller.
  ReadRegStr $1 HKLM "${KY_UNINSTALL_KEY}" "InstallLocation"
  ${If} $1 != ""
  ${AndIf} $1 != $INSTDIR
  ${AndIf} ${FileExists} "$1\VURuv.exe"
    StrCpy $0 "${KY_NAME} 已安装在“$1”。请安装到该文件夹，或先卸载它。"
  ${EndIf}
FunctionEnd

; $R0: the folder "/D=" gives on the command line, "" without one. Read
; from the process's own command line: NSIS replaces a "/D=" it finds no
; valid folder in by the default folder without a word.
Function kyGivenFolder
  System::Call 'kernel32::GetCommandLineW() w .R1'
  StrLen $R2 $R1
  StrCpy $R0 ""
  ${Do}
    IntOp $R2 $R2 - 1
    ${If} $R2 < 0
      Return
    ${EndIf}
    StrCpy $R3 $R1 4 $R2
  ${LoopUntil} $R3 S== " /D="
  IntOp $R2 $R2 + 4
  StrCpy $R0 $R1 "" $R2
FunctionEnd

Function .onInit
  SetShellVarContext all
  SetRegView 32
  InitPluginsDir
  File "/oname=$PLUGINSDIR\kysetuphelper.exe" "${KY_HELPER}"
  !insertmacro KY_ONE_AT_A_TIME
  ; An update goes where the installed copy is, unless /D= names a folder.
  Call kyGivenFolder
  ${If} $R0 != ""
    StrCpy $INSTDIR $R0
  ${Else}
    ReadRegStr $0 HKLM "${KY_UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 != ""
      StrCpy $INSTDIR $0
    ${EndIf}
  ${EndIf}
  Call kyFolderProblem
  ${If} $0 != ""
    MessageBox MB_OK|MB_ICONSTOP "$0" /SD IDOK
    SetErrorLevel 4
    Quit
  ${EndIf}
FunctionEnd

; The folder page keeps the user until the folder can be used.
Function kyDirectoryLeave
  Call kyFolderProblem
  ${If} $0 != ""
    MessageBox MB_OK|MB_ICONSTOP "$0"
    Abort
  ${EndIf}
FunctionEnd

Var KyUnpacking

; Whatever stopped the setup once it began to unpack: a swap the helper did
; not finish is completed or undone, the unpacked files go.
Function .onInstFailed
  ${If} $KyUnpacking == 1
    ExecWait '"$PLUGINSDIR\kysetuphelper.exe" recover "$INSTDIR"'
  ${EndIf}
FunctionEnd

; A silent update VURuv started itself brings it back.
Function .onInstSuccess
  ${If} ${Silent}
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/RESTART" $1
    ${IfNot} ${Errors}
      ExecWait '"$PLUGINSDIR\kysetuphelper.exe" start "$INSTDIR\VURuv.exe"' $0
      ${If} $0 <> 0
        DetailPrint "无法启动 ${KY_NAME}"
      ${EndIf}
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "-program"
  SetShellVarContext all
  SetRegView 32
  Call kyCloseRunning

  ; An update that a kill or a power loss cut off is completed first (or
  ; undone, when a file refuses): the copy is whole before this one starts.
  ExecWait '"$PLUGINSDIR\kysetuphelper.exe" recover "$INSTDIR"' $0
  ${If} $0 <> 0
    MessageBox MB_OK|MB_ICONSTOP "上次未完成的更新无法继续。$\r$\n请关闭正在使用 ${KY_NAME} 文件的程序后重新安装。" /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}

  ; Unpack beside the installed copy first: a full disk stops the install
  ; here, with the installed copy untouched.
  StrCpy $KyUnpacking 1
  SetOutPath "$INSTDIR\.setup-new"
  File /r "${KY_DEPLOY}\*.*"

  ; Swap the files in, moving each old one aside; put everything back when
  ; one of them cannot move (a program outside our control holds it).
  ; Out of the staging folder first: a process cannot remove its working folder.
  SetOutPath "$INSTDIR"
  ExecWait '"$PLUGINSDIR\kysetuphelper.exe" swap "$INSTDIR" "$PLUGINSDIR\swap.txt"' $0
  ${If} $0 <> 0
    StrCpy $R9 ""
    ClearErrors
    FileOpen $1 "$PLUGINSDIR\swap.txt" r
    ${IfNot} ${Errors}
      FileReadUTF16LE $1 $R9
      FileClose $1
    ${EndIf}
    DetailPrint "无法替换 $R9，已恢复原有文件"
    !insertmacro KyRemoveEmptyFolders
    RMDir "$INSTDIR"
    MessageBox MB_OK|MB_ICONSTOP "无法替换 $R9。$\r$\n请关闭正在使用 ${KY_NAME} 文件的程序后重新安装；已安装的文件保持原样。" /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}

  ; The program's own folders. It runs as the user who starts it, without
  ; elevation, and writes download\ (installers, the login component's
  ; archive) and module\ (the login component) itself: the users group may
  ; modify those two, and nothing else here. tools\ and the default tool
  ; folders are written by the tools' installers, which ask for elevation.
  CreateDirectory "$INSTDIR\tools\KYTool"
  CreateDirectory "$INSTDIR\tools\KYShowTool"
  CreateDirectory "$INSTDIR\tools\obs-studio"
  ExecWait '"$PLUGINSDIR\kysetuphelper.exe" grant "$INSTDIR\download" "$INSTDIR\module"' $0
  ${If} $0 != 0
    DetailPrint "无法设置 download 和 module 文件夹的权限"
  ${EndIf}

  ; The crash handler writes its dumps with the dbghelp.dll in the program
  ; folder only (never one found on the search path): the system's own is
  ; placed there.
  CopyFiles /SILENT "$SYSDIR\dbghelp.dll" "$INSTDIR\dbghelp.dll"
  ${If} ${Errors}
    DetailPrint "无法复制 dbghelp.dll：崩溃时将不能写入转储文件"
  ${EndIf}

  ; The uninstaller proper, and the program the entry runs, which runs it
  ; from a temporary copy and waits for it.
  WriteUninstaller "$INSTDIR\uninstall-core.exe"
  File "/oname=$INSTDIR\uninstall.exe" "${KY_UNINSTALLER}"

  ; Shortcuts start the program in its own folder, where it finds its crash
  ; reporter.
  SetOutPath "$INSTDIR"
  CreateShortcut "$SMPROGRAMS\${KY_NAME}.lnk" "$INSTDIR\VURuv.exe" "" "$INSTDIR\VURuv.exe" 0
  CreateShortcut "$DESKTOP\${KY_NAME}.lnk" "$INSTDIR\VURuv.exe" "" "$INSTDIR\VURuv.exe" 0

  ; The entry in the system's program list, in the registry view a 32-bit
  ; installer writes, where the program itself reads uninstall entries.
  WriteRegStr HKLM "${KY_UNINSTALL_KEY}" "DisplayName" "${KY_NAME}"
  WriteRegStr HKLM "${KY_UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\VURuv.exe,0"
  WriteRegStr HKLM "${KY_UNINSTALL_KEY}" "DisplayVersion" "${KY_VERSION}"
  WriteRegStr HKLM "${KY_UNINSTALL_KEY}" "Publisher" "${KY_PUBLISHER}"
  ; uninstall.exe waits for the removal and ends with its exit code
  ; (setup/kyuninstall.cpp).
  WriteRegStr HKLM "${KY_UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${KY_UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr HKLM "${KY_UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD HKLM "${KY_UNINSTALL_KEY}" "EstimatedSize" ${KY_SIZE_KB}
  WriteRegDWORD HKLM "${KY_UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${KY_UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; ---------------------------------------------------------------------------
; The uninstaller removes what the setup laid out. The user's data stays
; unless the second section is ticked (or "/REMOVEDATA" is given); the
; streaming tools below tools\ and their configuration always stay.

Section "-un.program"
  SetShellVarContext all
  SetRegView 32
  Call un.kyCloseRunning
  ExecWait '"$PLUGINSDIR\kysetuphelper.exe" recover "$INSTDIR"' $0
  ${If} $0 <> 0
    MessageBox MB_OK|MB_ICONSTOP "上次未完成的更新无法继续，未删除任何文件。" /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}

  ; What the last update laid out, and what this version ships (a copy from
  ; before the list was kept).
  ExecWait '"$PLUGINSDIR\kysetuphelper.exe" removefiles "$INSTDIR"'
  !insertmacro KyRemoveFiles
  Delete "$INSTDIR\dbghelp.dll"
  Delete "$INSTDIR\uninstall-core.exe"
  ; Moved out already when it started this uninstall.
  Delete "$INSTDIR\uninstall.exe"
  ExecWait '"$PLUGINSDIR\kysetuphelper.exe" removetree "$INSTDIR\.setup-new" "$INSTDIR\.setup-old"'
  Delete "$SMPROGRAMS\${KY_NAME}.lnk"
  Delete "$DESKTOP\${KY_NAME}.lnk"
  DeleteRegKey HKLM "${KY_UNINSTALL_KEY}"
SectionEnd

; download\ and module\ may be written by every account: a link planted
; there is removed as a link, never followed (the helper's removetree).
Section /o "un.删除 ${KY_NAME} 的数据（下载的安装包、直播码组件、崩溃转储、设置和日志；不删除直播工具）" SEC_UN_DATA
  ExecWait '"$PLUGINSDIR\kysetuphelper.exe" removetree "$INSTDIR\download" "$INSTDIR\module"'
  Delete "$INSTDIR\VURuv_*.dmp"
  ; The settings and logs of the user who uninstalls.
  SetShellVarContext current
  ExecWait '"$PLUGINSDIR\kysetuphelper.exe" removetree "$LOCALAPPDATA\VURuv" "$TEMP\VURuv"'
  SetShellVarContext all
SectionEnd

Section "-un.folders"
  ; Only empty folders go: an installed tool keeps tools\ and the folder.
  RMDir "$INSTDIR\tools\KYTool"
  RMDir "$INSTDIR\tools\KYShowTool"
  RMDir "$INSTDIR\tools\obs-studio"
  RMDir "$INSTDIR\tools"
  RMDir "$INSTDIR\download"
  RMDir "$INSTDIR\module"
  RMDir "$INSTDIR"
SectionEnd

; After the sections, whose index it selects.
Function un.onInit
  SetShellVarContext all
  SetRegView 32
  InitPluginsDir
  File "/oname=$PLUGINSDIR\kysetuphelper.exe" "${KY_HELPER}"
  !insertmacro KY_ONE_AT_A_TIME
  ${un.GetParameters} $0
  ClearErrors
  ${un.GetOptions} $0 "/REMOVEDATA" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SEC_UN_DATA}
  ${EndIf}
FunctionEnd
