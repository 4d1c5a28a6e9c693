; Velluma-Setup.exe: installs the accessory for all users into the 64-bit
; Program Files, registers it through its own DllRegisterServer, and adds
; an entry to the installed-programs list. Its uninstaller removes the
; registration, the files and the entry, and keeps the user's settings.
;
; The build passes three defines (installer/CMakeLists.txt):
;   VERSION     the product version, e.g. 1.0.2.0
;   SOURCE_DIR  the accessory folder to package (Velluma.dll, Velluma.ico,
;               KeloPublish.dll)
;   OUTFILE     the installer to write
;
; Exit codes: 0 done, 1 cancelled by the user, 2 stopped by an error,
; 3 a file to replace or remove is in use (the host holds Velluma.dll),
; 4 registering or unregistering the component failed (nothing changed),
; 740 no administrator rights.

!ifndef VERSION | SOURCE_DIR | OUTFILE
  !error "makensis needs /DVERSION=..., /DSOURCE_DIR=... and /DOUTFILE=..."
!endif

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true

!define PRODUCT "Velluma"
!define PUBLISHER "Velluma"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Velluma"
!define OUTPUT_CLSID "{9AB40107-F686-4c1b-833B-9F62832EAD8A}"

!define EXIT_IN_USE 3
!define EXIT_REGISTRATION 4
!define EXIT_NOT_ADMIN 740

Name "${PRODUCT}"
Caption "${PRODUCT} ${VERSION} Setup"
UninstallCaption "${PRODUCT} ${VERSION} Uninstall"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
; An upgrade goes where the installed version is.
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PUBLISHER}"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"

!define MUI_ICON "${SOURCE_DIR}/Velluma.ico"
!define MUI_UNICON "${SOURCE_DIR}/Velluma.ico"
!define MUI_ABORTWARNING
; The details stay on screen until the user goes on: they show what was
; registered, and the uninstaller's where the settings are.
!define MUI_FINISHPAGE_NOAUTOCLOSE
!define MUI_UNFINISHPAGE_NOAUTOCLOSE

; Velluma keeps its settings in the data folder that the host names for it;
; they belong to the user and outlive the installation.
!define SETTINGS_KEPT_TEXT "Your Velluma settings are kept: UserSettings.xml (a remembered blog account) and UserPrefs.xml stay in Velluma's data folder, the folder that Tarvex gives Velluma for its settings. To forget a remembered account, delete UserSettings.xml from that folder."

!define MUI_WELCOMEPAGE_TEXT "Setup will install Velluma, the blog-publishing output for Tarvex, for all users of this computer.$\r$\n$\r$\nClose Tarvex before you go on: Velluma's files can only be replaced while no program has them open.$\r$\n$\r$\nClick Next to continue."
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "Velluma is installed in $INSTDIR and registered for all users.$\r$\n$\r$\nTarvex lists $\"Send to Velluma Blog$\" among its outputs the next time it starts."
!insertmacro MUI_PAGE_FINISH

!define MUI_UNCONFIRMPAGE_TEXT_TOP "Velluma will be unregistered and removed from this folder. Your settings stay in the data folder Tarvex gives Velluma (UserSettings.xml, UserPrefs.xml); to forget a saved account, first turn off remembering in Velluma's Options."
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "Velluma has been removed.$\r$\n$\r$\n${SETTINGS_KEPT_TEXT}"
!insertmacro MUI_UNPAGE_FINISH

!insertmacro MUI_LANGUAGE "English"

Var OldDir         ; folder of the installed version, from its Uninstall entry
Var OldUnregistered ; 1 once the installed version's registration was removed
Var Failure        ; what went wrong, for the message
Var NewWritten     ; 1 once the new Velluma.dll is in place

; --- shared by the installer and the uninstaller --------------------------

; In FirstBusyFile: $0 the folder, $2 the first busy file found so far.
!macro CHECK_FREE un name
  ${If} $2 == ""
    Push "$0\${name}"
    Call ${un}Replaceable
    Pop $1
    ${If} $1 != 1
      StrCpy $2 "$0\${name}"
    ${EndIf}
  ${EndIf}
!macroend

!macro SHARED_FUNCTIONS un

; Calls an entry point of a COM server DLL as the system's registration tool
; does: with OLE initialised, the DLL loaded from its full path.
;   Push DLLPATH, Push ENTRY, Call CallServerEntry, Pop RESULT
; RESULT is 0 when the entry point returned S_OK, else a description.
Function ${un}CallServerEntry
  Exch $1  ; entry point
  Exch
  Exch $0  ; DLL path
  Push $2
  Push $3
  Push $4
  System::Call 'ole32::OleInitialize(p 0) i .r4'
  System::Call 'kernel32::LoadLibraryExW(w r0, p 0, i 0x8) p .r2 ?e'  ; LOAD_WITH_ALTERED_SEARCH_PATH
  Pop $3
  ${If} $2 P= 0
    StrCpy $3 "$0 could not be loaded (system error $3)"
  ${Else}
    System::Call 'kernel32::GetProcAddress(p r2, m r1) p .r3'
    ${If} $3 P= 0
      StrCpy $3 "$0 has no $1 entry point"
    ${Else}
      System::Call '::$3() i .r3'
      ${If} $3 <> 0
        IntFmt $3 "0x%08X" $3
        StrCpy $3 "$1 of $0 failed with error $3"
      ${EndIf}
    ${EndIf}
    System::Call 'kernel32::FreeLibrary(p r2)'
  ${EndIf}
  ${If} $4 >= 0
    System::Call 'ole32::OleUninitialize()'
  ${EndIf}
  StrCpy $0 $3
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

; Pushes 1 when FILE does not exist or can be opened for writing with
; nobody else holding it open, else 0. A DLL that a process has loaded
; cannot be opened so.
;   Push FILE, Call Replaceable, Pop RESULT
Function ${un}Replaceable
  Exch $0
  Push $1
  ${If} ${FileExists} "$0"
    System::Call 'kernel32::CreateFileW(w r0, i 0xC0000000, i 0, p 0, i 3, i 0x80, p 0) p .r1'  ; read+write, no sharing, OPEN_EXISTING
    ${If} $1 P= -1
      StrCpy $0 0
    ${Else}
      System::Call 'kernel32::CloseHandle(p r1)'
      StrCpy $0 1
    ${EndIf}
  ${Else}
    StrCpy $0 1
  ${EndIf}
  Pop $1
  Exch $0
FunctionEnd

; Pushes the first of our files in DIR that cannot be replaced now, or "".
;   Push DIR, Call FirstBusyFile, Pop RESULT
Function ${un}FirstBusyFile
  Exch $0
  Push $1
  Push $2
  StrCpy $2 ""
  !insertmacro CHECK_FREE "${un}" "Velluma.dll"
  !insertmacro CHECK_FREE "${un}" "KeloPublish.dll"
  !insertmacro CHECK_FREE "${un}" "Velluma.ico"
  !insertmacro CHECK_FREE "${un}" "Uninstall.exe"
  StrCpy $0 $2
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

; Waits until nothing holds our files in DIR, asking the user to close the
; host. Silent mode answers Cancel. Pushes 1 to go on, 0 when cancelled.
;   Push DIR, Call WaitUntilFree, Pop RESULT
Function ${un}WaitUntilFree
  Exch $0
  Push $1
  ${Do}
    Push $0
    Call ${un}FirstBusyFile
    Pop $1
    ${If} $1 == ""
      StrCpy $0 1
      ${Break}
    ${EndIf}
    DetailPrint "In use: $1"
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$1 is in use, most likely by Tarvex.$\r$\n$\r$\nClose Tarvex (and any other program that uses Velluma), then click Retry. Cancel leaves Velluma as it is." /SD IDCANCEL IDRETRY retry
    StrCpy $0 0
    ${Break}
    retry:
  ${Loop}
  Pop $1
  Exch $0
FunctionEnd

!macroend

!insertmacro SHARED_FUNCTIONS ""
!insertmacro SHARED_FUNCTIONS "un."

; --- installer ----------------------------------------------------------------

Function .onInit
  SetRegView 64
  SetShellVarContext all
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_OK|MB_ICONSTOP "Velluma Setup needs administrator rights: it installs into Program Files and registers Velluma for all users of this computer.$\r$\n$\r$\nRun Velluma-Setup.exe again as an administrator (right-click it and choose $\"Run as administrator$\")." /SD IDOK
    SetErrorLevel ${EXIT_NOT_ADMIN}
    Quit
  ${EndIf}
  ReadRegStr $OldDir HKLM "${UNINST_KEY}" "InstallLocation"
FunctionEnd

!macro MOVE_ASIDE name
  ${If} ${FileExists} "$INSTDIR\${name}"
    Delete "$INSTDIR\${name}.previous"
    ClearErrors
    Rename "$INSTDIR\${name}" "$INSTDIR\${name}.previous"
    ${If} ${Errors}
      StrCpy $Failure "$INSTDIR\${name} could not be renamed."
      Goto rollback
    ${EndIf}
  ${EndIf}
!macroend

!macro PUT_BACK name
  ${If} ${FileExists} "$INSTDIR\${name}.previous"
    Delete "$INSTDIR\${name}"
    Rename "$INSTDIR\${name}.previous" "$INSTDIR\${name}"
  ${Else}
    Delete "$INSTDIR\${name}"
  ${EndIf}
!macroend

!macro EXTRACT name
  ClearErrors
  File "${SOURCE_DIR}/${name}"
  ${If} ${Errors}
    StrCpy $Failure "$INSTDIR\${name} could not be written."
    Goto rollback
  ${EndIf}
!macroend

; Replaces the set as a whole: the files there are renamed aside first, the
; new ones written and registered, and only then the old ones deleted. Any
; failure puts the old set and its registration back.
Section "Velluma" SecVelluma
  SectionIn RO
  SetOverwrite try
  StrCpy $OldUnregistered 0
  StrCpy $NewWritten 0

  Push "$INSTDIR"
  Call WaitUntilFree
  Pop $0
  ${If} $0 == 1
  ${AndIf} $OldDir != ""
  ${AndIf} $OldDir != $INSTDIR
    Push "$OldDir"
    Call WaitUntilFree
    Pop $0
  ${EndIf}
  ${If} $0 != 1
    DetailPrint "Cancelled: nothing was changed."
    SetErrorLevel ${EXIT_IN_USE}
    Abort
  ${EndIf}

  ; The installed version's registration goes first, so nothing of it can
  ; outlive the upgrade.
  ${If} $OldDir != ""
  ${AndIf} ${FileExists} "$OldDir\Velluma.dll"
    DetailPrint "Unregistering $OldDir\Velluma.dll"
    Push "$OldDir\Velluma.dll"
    Push "DllUnregisterServer"
    Call CallServerEntry
    Pop $0
    ${If} $0 != 0
      DetailPrint "The installed version did not unregister: $0"
    ${EndIf}
    StrCpy $OldUnregistered 1
  ${EndIf}

  CreateDirectory "$INSTDIR"
  SetOutPath "$INSTDIR"
  !insertmacro MOVE_ASIDE "Velluma.dll"
  !insertmacro MOVE_ASIDE "KeloPublish.dll"
  !insertmacro MOVE_ASIDE "Velluma.ico"
  !insertmacro MOVE_ASIDE "Uninstall.exe"

  !insertmacro EXTRACT "Velluma.dll"
  StrCpy $NewWritten 1
  !insertmacro EXTRACT "KeloPublish.dll"
  !insertmacro EXTRACT "Velluma.ico"
  ClearErrors
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  ${If} ${Errors}
    StrCpy $Failure "$INSTDIR\Uninstall.exe could not be written."
    Goto rollback
  ${EndIf}

  DetailPrint "Registering $INSTDIR\Velluma.dll"
  Push "$INSTDIR\Velluma.dll"
  Push "DllRegisterServer"
  Call CallServerEntry
  Pop $0
  ${If} $0 != 0
    StrCpy $Failure "Velluma could not be registered: $0."
    Goto rollback
  ${EndIf}

  ; Done: the old set goes, here and in another folder it was installed in.
  Delete "$INSTDIR\Velluma.dll.previous"
  Delete "$INSTDIR\KeloPublish.dll.previous"
  Delete "$INSTDIR\Velluma.ico.previous"
  Delete "$INSTDIR\Uninstall.exe.previous"
  ${If} $OldDir != ""
  ${AndIf} $OldDir != $INSTDIR
    Delete "$OldDir\Velluma.dll"
    Delete "$OldDir\KeloPublish.dll"
    Delete "$OldDir\Velluma.ico"
    Delete "$OldDir\Uninstall.exe"
    RMDir "$OldDir"
  ${EndIf}

  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\Velluma.ico"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K /G=0" $0 $1 $2
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $0
  Return

rollback:
  DetailPrint "$Failure"
  ${If} $NewWritten == 1
    ; whatever the new DLL registered before it failed
    Push "$INSTDIR\Velluma.dll"
    Push "DllUnregisterServer"
    Call CallServerEntry
    Pop $0
  ${EndIf}
  !insertmacro PUT_BACK "Velluma.dll"
  !insertmacro PUT_BACK "KeloPublish.dll"
  !insertmacro PUT_BACK "Velluma.ico"
  !insertmacro PUT_BACK "Uninstall.exe"
  SetOutPath "$TEMP"  ; a process's current folder cannot be removed
  RMDir "$INSTDIR"
  ${If} $OldUnregistered == 1
    DetailPrint "Registering the installed version again"
    Push "$OldDir\Velluma.dll"
    Push "DllRegisterServer"
    Call CallServerEntry
    Pop $0
  ${EndIf}
  MessageBox MB_OK|MB_ICONSTOP "$Failure$\r$\n$\r$\nNothing was changed: the files and the registration are as they were before Setup ran." /SD IDOK
  SetErrorLevel ${EXIT_REGISTRATION}
  Abort
SectionEnd

; --- uninstaller ------------------------------------------------------------

Function un.onInit
  SetRegView 64
  SetShellVarContext all
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_OK|MB_ICONSTOP "Removing Velluma needs administrator rights: it is registered for all users of this computer.$\r$\n$\r$\nRun the uninstaller again as an administrator." /SD IDOK
    SetErrorLevel ${EXIT_NOT_ADMIN}
    Quit
  ${EndIf}
FunctionEnd

Section "Uninstall"
  Push "$INSTDIR"
  Call un.WaitUntilFree
  Pop $0
  ${If} $0 != 1
    DetailPrint "Cancelled: nothing was removed."
    SetErrorLevel ${EXIT_IN_USE}
    Abort
  ${EndIf}

  ; The registration is removed only when it is this copy's: an uninstaller
  ; left in another folder must not unregister the installed version.
  ReadRegStr $0 HKCR "CLSID\${OUTPUT_CLSID}\InprocServer32" ""
  StrCpy $1 0
  ${If} ${FileExists} "$INSTDIR\Velluma.dll"
    ${If} $0 == ""
    ${OrIf} $0 == "$INSTDIR\Velluma.dll"
      StrCpy $1 1
    ${EndIf}
  ${EndIf}
  ${If} $1 == 1
    DetailPrint "Unregistering $INSTDIR\Velluma.dll"
    Push "$INSTDIR\Velluma.dll"
    Push "DllUnregisterServer"
    Call un.CallServerEntry
    Pop $0
    ${If} $0 != 0
      MessageBox MB_OK|MB_ICONSTOP "Velluma's registration could not be removed: $0.$\r$\n$\r$\nNothing was removed." /SD IDOK
      SetErrorLevel ${EXIT_REGISTRATION}
      Abort
    ${EndIf}
  ${EndIf}

  Delete "$INSTDIR\Velluma.dll"
  Delete "$INSTDIR\KeloPublish.dll"
  Delete "$INSTDIR\Velluma.ico"
  Delete "$INSTDIR\Velluma.dll.previous"
  Delete "$INSTDIR\KeloPublish.dll.previous"
  Delete "$INSTDIR\Velluma.ico.previous"
  Delete "$INSTDIR\Uninstall.exe.previous"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"

  ReadRegStr $0 HKLM "${UNINST_KEY}" "InstallLocation"
  ${If} $0 == "$INSTDIR"
    DeleteRegKey HKLM "${UNINST_KEY}"
  ${EndIf}
  DetailPrint "${SETTINGS_KEPT_TEXT}"
SectionEnd
