; The setup program a broadcaster runs: it finds Winamp, puts dsp_ombrel.dll into its Plugins
; folder and registers an uninstaller that takes the DLL away again. The settings file
; dsp_ombrel.ini belongs to the user: neither program ever writes or removes it.
;
; makensis -INPUTCHARSET UTF8 -DDLL=<built dsp_ombrel.dll> -DOUTFILE=<setup.exe> dsp_ombrel.nsi
;
; Exit codes: 0 installed or removed, 1 cancelled by the user, 2 no Winamp folder (silent set-up
; only), 3 the DLL is in use, 4 the folder cannot be written and no administrator allowed it.

Unicode true
; Same input, same bytes: no file times in the data, one fixed compressor.
SetDateSave off
SetCompressor /SOLID lzma
CRCCheck on
; The Plugins folder decides whether an administrator is needed, so the program starts as the
; user and asks only when that folder cannot be written.
RequestExecutionLevel user
ManifestSupportedOS all

!ifndef DLL
  !error "pass -DDLL=<path of dsp_ombrel.dll>"
!endif
!ifndef OUTFILE
  !define OUTFILE "ombrel-dsp-1.05-setup.exe"
!endif

!define PRODUCT "Ombrel DSP plugin v1.05"
!define UNINSTALLER "dsp_ombrel_uninstall.exe"
!define ARP_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\dsp_ombrel"
!define WINAMP_UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Winamp"

!define EXIT_NO_WINAMP 2
!define EXIT_IN_USE 3
!define EXIT_NO_ACCESS 4

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir ""
ShowInstDetails nevershow
ShowUninstDetails nevershow
BrandingText "${PRODUCT}"

VIProductVersion "1.0.5.0"
VIFileVersion "1.0.5.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "Ombrel"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "1.05"
VIAddVersionKey /LANG=1033 "ProductVersion" "1.05"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) 2026 Ombrel developers"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"

Var Elevated

!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "$(WelcomeText)"
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipWhenElevated
!insertmacro MUI_PAGE_WELCOME
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipWhenElevated
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE WinampFolderChosen
!define MUI_PAGE_HEADER_TEXT "$(WinampFolderTitle)"
!define MUI_PAGE_HEADER_SUBTEXT "$(WinampFolderSubtitle)"
!define MUI_DIRECTORYPAGE_TEXT_TOP "$(WinampFolderHint)"
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "$(WinampFolderLabel)"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "$(FinishText)"
!insertmacro MUI_PAGE_FINISH

!define MUI_UNCONFIRMPAGE_TEXT_TOP "$(UninstallText)"
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The first language is the one used when Windows runs in a language this program lacks.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Japanese"

LangString WelcomeText ${LANG_ENGLISH} "This puts ${PRODUCT} into the Plugins folder of Winamp.$\r$\n$\r$\nClose Winamp before you go on. Settings you already have (dsp_ombrel.ini) are kept as they are."
LangString WelcomeText ${LANG_JAPANESE} "${PRODUCT} を Winamp の Plugins フォルダーに入れます。$\r$\n$\r$\n続ける前に Winamp を終了してください。今までの設定（dsp_ombrel.ini）はそのまま残ります。"
LangString WinampFolderTitle ${LANG_ENGLISH} "Winamp folder"
LangString WinampFolderTitle ${LANG_JAPANESE} "Winamp の場所"
LangString WinampFolderSubtitle ${LANG_ENGLISH} "Choose the Winamp that gets the plug-in."
LangString WinampFolderSubtitle ${LANG_JAPANESE} "プラグインを入れる Winamp を選んでください。"
LangString WinampFolderHint ${LANG_ENGLISH} "Choose the folder Winamp is installed in (the one that holds winamp.exe). The plug-in goes into its Plugins folder."
LangString WinampFolderHint ${LANG_JAPANESE} "Winamp をインストールしたフォルダー（winamp.exe のあるフォルダー）を選んでください。プラグインはその中の Plugins フォルダーに入ります。"
LangString WinampFolderLabel ${LANG_ENGLISH} "Winamp folder"
LangString WinampFolderLabel ${LANG_JAPANESE} "Winamp のフォルダー"
LangString FinishText ${LANG_ENGLISH} "dsp_ombrel.dll is in the Plugins folder of Winamp.$\r$\n$\r$\nStart Winamp, open Preferences → Plug-ins → DSP/Effect and choose $\"${PRODUCT}$\"."
LangString FinishText ${LANG_JAPANESE} "dsp_ombrel.dll を Winamp の Plugins フォルダーに入れました。$\r$\n$\r$\nWinamp を起動し、「Preferences」→「Plug-ins」→「DSP/Effect」で「${PRODUCT}」を選んでください。"
LangString NeedAdministrator ${LANG_ENGLISH} "The Plugins folder of Winamp can only be changed with an administrator's permission, which was not given."
LangString NeedAdministrator ${LANG_JAPANESE} "Winamp の Plugins フォルダーを変更するには管理者の許可が必要ですが、許可されませんでした。"
LangString DllInUse ${LANG_ENGLISH} "dsp_ombrel.dll is in use. Close Winamp, then press Retry."
LangString DllInUse ${LANG_JAPANESE} "dsp_ombrel.dll が使用中です。Winamp を終了してから「再試行」を押してください。"
LangString UninstallText ${LANG_ENGLISH} "This removes dsp_ombrel.dll from the Plugins folder of Winamp. Your settings (dsp_ombrel.ini) are kept. Close Winamp first."
LangString UninstallText ${LANG_JAPANESE} "Winamp の Plugins フォルダーから dsp_ombrel.dll を削除します。設定（dsp_ombrel.ini）は残ります。先に Winamp を終了してください。"

; Sets $R1 to 1 when a file can be created in folder $R0, else to 0. A program with this
; manifest gets no virtualised Program Files, so the answer is the real one.
!macro DefineCanWrite prefix
  Function ${prefix}CanWrite
    ClearErrors
    FileOpen $R2 "$R0\dsp_ombrel.setup-check" w
    ${If} ${Errors}
      StrCpy $R1 0
    ${Else}
      FileClose $R2
      Delete "$R0\dsp_ombrel.setup-check"
      StrCpy $R1 1
    ${EndIf}
  FunctionEnd

  ; Runs program $R0 with parameters $R1 as administrator (Windows asks the user), waits for it
  ; and sets $R2 to its exit code, or to "" when it could not start (permission refused). Windows
  ; shows no box of its own on failure (SEE_MASK_FLAG_NO_UI): a silent run must not stop on one.
  Function ${prefix}RunElevated
    StrCpy $R2 ""
    System::Call '*(i 60, i 0x440, p $HWNDPARENT, w "runas", w R0, w R1, p 0, i 1, p, p, p, p, i, p, p) p.R3'
    System::Call 'shell32::ShellExecuteExW(p R3) i.R4'
    ${If} $R4 <> 0
      System::Call '*$R3(i, i, p, p, p, p, p, i, p, p, p, p, i, p, p.R5)'
      ${If} $R5 <> 0
        System::Call 'kernel32::WaitForSingleObject(p R5, i -1)'
        System::Call 'kernel32::GetExitCodeProcess(p R5, *i.R2)'
        System::Call 'kernel32::CloseHandle(p R5)'
      ${Else}
        StrCpy $R2 0
      ${EndIf}
    ${EndIf}
    System::Free $R3
  FunctionEnd
!macroend
!insertmacro DefineCanWrite ""
!insertmacro DefineCanWrite "un."

; Takes candidate folder $R0 as the Winamp folder when it holds winamp.exe.
Function AcceptWinampFolder
  ${If} $INSTDIR != ""
  ${OrIf} $R0 == ""
    Return
  ${EndIf}
  StrCpy $R1 $R0 1 -1
  ${If} $R1 == "\"
    StrCpy $R0 $R0 -1
  ${EndIf}
  ${If} ${FileExists} "$R0\winamp.exe"
    StrCpy $INSTDIR $R0
  ${EndIf}
FunctionEnd

; $R0: a command line such as "C:\Program Files\Winamp\UninstWA.exe" → the program's folder.
Function FolderOfCommand
  StrCpy $R1 $R0 1
  ${If} $R1 == '"'
    StrCpy $R0 $R0 "" 1
    StrCpy $R2 0
    ${Do}
      StrCpy $R1 $R0 1 $R2
      ${IfThen} $R1 == '"' ${|} ${ExitDo} ${|}
      ${IfThen} $R1 == "" ${|} ${ExitDo} ${|}
      IntOp $R2 $R2 + 1
    ${Loop}
    StrCpy $R0 $R0 $R2
  ${EndIf}
  ${If} $R0 != ""
    ${GetParent} $R0 $R0
  ${EndIf}
FunctionEnd

; Where Winamp's own set-up says it is: the folder it records for the user, then its entry in
; Programs and Features (its folder, or the folder of its uninstaller).
Function FindWinamp
  ReadRegStr $R0 HKCU "Software\Winamp" ""
  Call AcceptWinampFolder
  ReadRegStr $R0 HKLM "${WINAMP_UNINSTALL_KEY}" "InstallLocation"
  Call AcceptWinampFolder
  ReadRegStr $R0 HKLM "${WINAMP_UNINSTALL_KEY}" "UninstallString"
  Call FolderOfCommand
  Call AcceptWinampFolder
  ReadRegStr $R0 HKCU "${WINAMP_UNINSTALL_KEY}" "UninstallString"
  Call FolderOfCommand
  Call AcceptWinampFolder
FunctionEnd

; The folder this program writes into: Plugins, or Winamp's own folder while Plugins is missing.
Function TargetFolder
  StrCpy $R0 "$INSTDIR\Plugins"
  ${IfNot} ${FileExists} "$R0\*.*"
    StrCpy $R0 $INSTDIR
  ${EndIf}
FunctionEnd

; Sets $R1 to 1 when this process can write the target folder. Otherwise a copy of this program
; runs as administrator for the rest of the work and this one ends with its exit code; $R1 is 0
; when no administrator allowed that.
Function WriteAccessOrElevate
  Call TargetFolder
  Call CanWrite
  ${If} $R1 = 1
    Return
  ${EndIf}
  ${If} $Elevated != 1
    StrCpy $R1 "/ELEVATED "
    ${If} ${Silent}
      StrCpy $R1 "$R1/S "
    ${EndIf}
    StrCpy $R1 "$R1/D=$INSTDIR"
    StrCpy $R0 $EXEPATH
    ; The administrator's copy shows its own pages while this one waits unseen.
    HideWindow
    Call RunElevated
    ${If} $R2 != ""
      SetErrorLevel $R2
      Quit
    ${EndIf}
    ${IfNot} ${Silent}
      ShowWindow $HWNDPARENT ${SW_SHOW}
      BringToFront
    ${EndIf}
  ${EndIf}
  MessageBox MB_OK|MB_ICONSTOP "$(NeedAdministrator)" /SD IDOK
  StrCpy $R1 0
FunctionEnd

Function .onInit
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/ELEVATED" $R1
  ${IfNot} ${Errors}
    StrCpy $Elevated 1
  ${EndIf}
  ; A folder given with /D= is taken as it is; otherwise Winamp's registry entries decide.
  ${If} $INSTDIR == ""
    Call FindWinamp
  ${EndIf}
  ${If} ${Silent}
    ${IfNot} ${FileExists} "$INSTDIR\winamp.exe"
      SetErrorLevel ${EXIT_NO_WINAMP}
      Quit
    ${EndIf}
    Call WriteAccessOrElevate
    ${If} $R1 = 0
      SetErrorLevel ${EXIT_NO_ACCESS}
      Quit
    ${EndIf}
  ${ElseIf} $INSTDIR == ""
    StrCpy $INSTDIR "$PROGRAMFILES\Winamp"
  ${EndIf}
FunctionEnd

Function .onVerifyInstDir
  ${IfNot} ${FileExists} "$INSTDIR\winamp.exe"
    Abort
  ${EndIf}
FunctionEnd

; The administrator's copy goes straight to the work: the user already chose the folder.
Function SkipWhenElevated
  ${If} $Elevated = 1
    Abort
  ${EndIf}
FunctionEnd

; Without the administrator's permission the user may choose another folder.
Function WinampFolderChosen
  Call WriteAccessOrElevate
  ${If} $R1 = 0
    Abort
  ${EndIf}
FunctionEnd

Section
  SetOutPath "$INSTDIR\Plugins"
  ; A DLL that Winamp has loaded cannot be deleted: removing it first tells a busy file from a
  ; writable one before anything is written.
  retry:
  ClearErrors
  Delete "$INSTDIR\Plugins\dsp_ombrel.dll"
  ${If} ${Errors}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(DllInUse)" /SD IDCANCEL IDRETRY retry
    SetErrorLevel ${EXIT_IN_USE}
    Abort
  ${EndIf}
  SetOverwrite try
  File "/oname=dsp_ombrel.dll" "${DLL}"
  ${IfNot} ${FileExists} "$INSTDIR\Plugins\dsp_ombrel.dll"
    MessageBox MB_OK|MB_ICONSTOP "$(NeedAdministrator)" /SD IDOK
    SetErrorLevel ${EXIT_NO_ACCESS}
    Abort
  ${EndIf}
  WriteUninstaller "$INSTDIR\Plugins\${UNINSTALLER}"

  ; Programs and Features: for all users when this process may write there (administrator),
  ; else for this user only.
  SetShellVarContext all
  ClearErrors
  WriteRegStr SHCTX "${ARP_KEY}" "DisplayName" "${PRODUCT}"
  ${If} ${Errors}
    SetShellVarContext current
    WriteRegStr SHCTX "${ARP_KEY}" "DisplayName" "${PRODUCT}"
  ${Else}
    DeleteRegKey HKCU "${ARP_KEY}"
  ${EndIf}
  WriteRegStr SHCTX "${ARP_KEY}" "DisplayVersion" "1.05"
  WriteRegStr SHCTX "${ARP_KEY}" "Publisher" "Ombrel"
  WriteRegStr SHCTX "${ARP_KEY}" "DisplayIcon" "$INSTDIR\winamp.exe,0"
  WriteRegStr SHCTX "${ARP_KEY}" "InstallLocation" "$INSTDIR\Plugins"
  WriteRegStr SHCTX "${ARP_KEY}" "UninstallString" '"$INSTDIR\Plugins\${UNINSTALLER}"'
  WriteRegStr SHCTX "${ARP_KEY}" "QuietUninstallString" '"$INSTDIR\Plugins\${UNINSTALLER}" /S'
  WriteRegDWORD SHCTX "${ARP_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${ARP_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR\Plugins" "/M=dsp_ombrel.dll /S=0K /G=0" $R0 $R1 $R2
  WriteRegDWORD SHCTX "${ARP_KEY}" "EstimatedSize" $R0
SectionEnd

; The uninstaller lives in the Plugins folder, so $INSTDIR is that folder here.
Function un.onInit
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/ELEVATED" $R1
  ${IfNot} ${Errors}
    StrCpy $Elevated 1
  ${EndIf}
  StrCpy $R0 $INSTDIR
  Call un.CanWrite
  ${If} $R1 = 1
    Return
  ${EndIf}
  ; This is the copy Windows runs from the temporary folder; the administrator's copy runs it
  ; again in place (_?=, last and unquoted) so that its exit code is the answer.
  ${If} $Elevated != 1
    StrCpy $R1 "/ELEVATED"
    ${If} ${Silent}
      StrCpy $R1 "$R1 /S"
    ${EndIf}
    StrCpy $R1 "$R1 _?=$INSTDIR"
    StrCpy $R0 $EXEPATH
    Call un.RunElevated
    ${If} $R2 != ""
      SetErrorLevel $R2
      Quit
    ${EndIf}
  ${EndIf}
  MessageBox MB_OK|MB_ICONSTOP "$(NeedAdministrator)" /SD IDOK
  SetErrorLevel ${EXIT_NO_ACCESS}
  Quit
FunctionEnd

Section Uninstall
  retry:
  ClearErrors
  Delete "$INSTDIR\dsp_ombrel.dll"
  ${If} ${Errors}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(DllInUse)" /SD IDCANCEL IDRETRY retry
    SetErrorLevel ${EXIT_IN_USE}
    Abort
  ${EndIf}
  Delete "$INSTDIR\${UNINSTALLER}"
  DeleteRegKey HKLM "${ARP_KEY}"
  DeleteRegKey HKCU "${ARP_KEY}"
SectionEnd
