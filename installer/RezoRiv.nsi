; The workstation set-up of Quelt Rezo-Riv: the dial-out service and its
; user-interface library in the installation folder; the Chooser and the
; browsing library it links against in the system folder (the Control Panel
; loads the Chooser from there, and the loader looks for the Chooser's
; libraries there, not beside it); the "QUELT" variable and "DeviceFile", the
; device-type catalogue, the four port keys, the upgrade mark, the service
; registered and started, and the entry in Add/Remove Programs. The uninstaller undoes it in reverse order and keeps the
; user's configuration unless asked (check box, or /PURGE when silent).
;
; makensis -DKVR_BIN=DIR -DKVR_GENERATED=DIR -DKVR_CATALOGUE=FILE -DKVR_OUTFILE=FILE RezoRiv.nsi
; (installer/CMakeLists.txt does it)
;
; Silent use: RezoRivSetup.exe /S [/D=FOLDER]; Uninstall.exe /S [/PURGE].
; Any failure exits with a non-zero code (2); nothing is half done silently.

Unicode true
Target amd64-unicode
ManifestSupportedOS all
RequestExecutionLevel admin
SetCompressor /SOLID lzma

; The one version number, from the header CMake generates for every binary.
!searchparse /file "${KVR_GENERATED}/KvrVersion.h" '#define KVR_VERSION_TEXT "' KVR_VERSION '"'
!searchparse /file "${KVR_GENERATED}/KvrVersion.h" '#define KVR_VERSION_MAJOR ' KVR_VERSION_MAJOR
!searchparse /file "${KVR_GENERATED}/KvrVersion.h" '#define KVR_VERSION_MINOR ' KVR_VERSION_MINOR
!searchparse /file "${KVR_GENERATED}/KvrVersion.h" '#define KVR_VERSION_PATCH ' KVR_VERSION_PATCH

!include "${KVR_CATALOGUE}"
!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "nsDialogs.nsh"
!include "WinMessages.nsh"
!include "WordFunc.nsh"

!define PRODUCT "Quelt Rezo-Riv"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\QueltRezoRiv"
!define ENVIRONMENT_KEY "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
!define QUELT_KEY "SOFTWARE\Quelt"
!define REZORIV_KEY "SOFTWARE\Quelt\Rezoriv"
!define SERVERS_KEY "SOFTWARE\Quelt\Servers"
!define CHOOSER_USER_KEY "Control Panel\Quelt Chooser"
!define DEVICE_FILE "ZDX.DEV"
!define HELPER "$PLUGINSDIR\kvrsetup.exe"
; NSIS's own code for a run its script ended.
!define EXIT_FAILED 2

Name "${PRODUCT}"
OutFile "${KVR_OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
; A file that cannot be written stops the set-up; it is never skipped.
AllowSkipFiles off
ShowInstDetails show
ShowUninstDetails show
BrandingText "${PRODUCT} ${KVR_VERSION}"

VIProductVersion "${KVR_VERSION_MAJOR}.${KVR_VERSION_MINOR}.${KVR_VERSION_PATCH}.0"
VIAddVersionKey /LANG=1033 "CompanyName" "Quelt"
VIAddVersionKey /LANG=1033 "ProductName" "Quelt Rezo-Riv for Windows NT"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${KVR_VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${KVR_VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Quelt"

Var ExistingDir      ; folder of the installation found at start, or ""
Var ServiceWasUp     ; 1 when this run stopped a running service
Var Placed           ; 1 once this run has begun to change the computer
Var Failure          ; text of the failure being reported
Var Problems         ; what a removal could not do, one line each
Var Purge            ; uninstaller: 1 to remove the configuration too
Var PurgeBox

!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_NOAUTOCLOSE
!define MUI_UNFINISHPAGE_NOAUTOCLOSE
!define MUI_WELCOMEPAGE_TEXT "Setup will install ${PRODUCT} ${KVR_VERSION}: the dial-out service, which \
  lets programs on this computer use the modems of remote access servers on the network as local COM \
  ports, and Quelt Chooser in the Control Panel, where the ports are configured.$\r$\n$\r$\n\
  An existing installation is upgraded where it is, and its configuration is kept.$\r$\n$\r$\n\
  Programs using a redirected port should be closed before you continue.$\r$\n$\r$\n$_CLICK"
!define MUI_FINISHPAGE_TEXT "${PRODUCT} is installed and its service is running.$\r$\n$\r$\n\
  Open Quelt Chooser in the Control Panel to choose the remote access devices for COM1 to COM4."

!insertmacro MUI_PAGE_WELCOME
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipDirectoryOnUpgrade
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

UninstPage custom un.ConfirmPage un.ConfirmPageLeave
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_UNPAGE_FINISH

!insertmacro MUI_LANGUAGE "English"

; A line of the details list from text of several lines.
!macro DetailLinesFunction UN
Function ${UN}DetailLines
  Exch $R8
  ${WordReplace} "$R8" "$\r$\n" " " "+" $R8
  DetailPrint "$R8"
  Pop $R8
FunctionEnd
!macroend
!insertmacro DetailLinesFunction ""
!insertmacro DetailLinesFunction "un."

!macro DetailLines TEXT
  Push `${TEXT}`
!ifdef __UNINSTALL__
  Call un.DetailLines
!else
  Call DetailLines
!endif
!macroend

; Runs the helper; $0 gets its exit code ("error" if it could not run), $1
; what it printed, without its last line end.
!macro Helper ARGUMENTS
  nsExec::ExecToStack '"${HELPER}" ${ARGUMENTS}'
  Pop $0
  Pop $1
  StrCpy $R9 $1 2 -2
  ${If} $R9 == "$\r$\n"
    StrCpy $1 $1 -2
  ${EndIf}
  !insertmacro DetailLines `kvrsetup ${ARGUMENTS}: $1`
!macroend

; Deletes one of our values only while it still says what we wrote.
!macro DeleteOurValue UN ROOT KEY NAME EXPECTED
  ReadRegStr $0 ${ROOT} "${KEY}" "${NAME}"
  ${If} $0 == "${EXPECTED}"
    ClearErrors
    DeleteRegValue ${ROOT} "${KEY}" "${NAME}"
    ${If} ${Errors}
      Push "${NAME} could not be removed from the registry."
      Call ${UN}NoteProblem
    ${EndIf}
  ${EndIf}
!macroend

; The steps of removal, shared by the uninstaller and by the installer, which
; takes back what a failed first installation had put in place. Each step
; that fails adds a line to $Problems and the removal goes on.
!macro RemovalFunctions UN
Function ${UN}NoteProblem
  Exch $0
  StrCpy $Problems "$Problems$0$\r$\n"
  DetailPrint "$0"
  Pop $0
FunctionEnd

Function ${UN}RemoveService
  !insertmacro Helper "service-state"
  ${If} $1 == "absent"
    Return
  ${EndIf}
  ${If} ${FileExists} "$INSTDIR\KVRSVC.EXE"
    nsExec::ExecToStack '"$INSTDIR\KVRSVC.EXE" -remove'
    Pop $0
    Pop $1
    !insertmacro DetailLines "KVRSVC -remove: $1"
  ${EndIf}
  ; The control manager may take a moment to forget a deleted service.
  ${For} $R0 1 20
    !insertmacro Helper "service-state"
    ${If} $1 == "absent"
      Return
    ${EndIf}
    Sleep 250
  ${Next}
  Push "The service $\"kvrsvc$\" could not be removed."
  Call ${UN}NoteProblem
FunctionEnd

Function ${UN}DeleteOurFile
  Exch $0
  ClearErrors
  Delete "$0"
  ${If} ${Errors}
  ${OrIf} ${FileExists} "$0"
    Push "$0 could not be deleted."
    Call ${UN}NoteProblem
  ${EndIf}
  Pop $0
FunctionEnd

; Everything but the configuration, last installed first.
Function ${UN}RemoveInstalled
  StrCpy $Problems ""
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  Call ${UN}RemoveService
  !insertmacro Helper "remove-dos-names"
  ${If} $0 != 0
    Push "The DOS names of the redirected ports could not all be removed: $1"
    Call ${UN}NoteProblem
  ${EndIf}
  !insertmacro KvrRemoveRegFile
  !insertmacro DeleteOurValue "${UN}" HKLM "${SERVERS_KEY}" "DeviceFile" "$INSTDIR\${DEVICE_FILE}"
  !insertmacro DeleteOurValue "${UN}" HKLM "${ENVIRONMENT_KEY}" "QUELT" "$INSTDIR"
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=2000
  Push "$SYSDIR\KVRUI.CPL"
  Call ${UN}DeleteOurFile
  Push "$SYSDIR\KVRBRWS.DLL"
  Call ${UN}DeleteOurFile
  Push "$INSTDIR\KVRAUTH.DLL"
  Call ${UN}DeleteOurFile
  Push "$INSTDIR\KVRSVC.EXE"
  Call ${UN}DeleteOurFile
  Push "$INSTDIR\Uninstall.exe"
  Call ${UN}DeleteOurFile
FunctionEnd
!macroend
!insertmacro RemovalFunctions ""
!insertmacro RemovalFunctions "un."

; Reports a failure and ends the run with a non-zero exit code. A first
; installation is taken back; an upgrade gets its service running again.
Function Fail
  !insertmacro DetailLines "$Failure"
  ${If} $ExistingDir == ""
    ${If} $Placed == 1
      DetailPrint "Taking back what this setup installed..."
      Call RemoveInstalled
    ${EndIf}
    RMDir "$INSTDIR"
  ${ElseIf} $ServiceWasUp == 1
    !insertmacro Helper "start-service"
  ${EndIf}
  MessageBox MB_OK|MB_ICONSTOP "$Failure" /SD IDOK
  SetErrorLevel ${EXIT_FAILED}
  Abort
FunctionEnd

!macro FailIfErrors TEXT
  ${If} ${Errors}
    StrCpy $Failure "${TEXT}"
    Call Fail
  ${EndIf}
!macroend

Function .onInit
  SetRegView 64
  ; NSIS quietly falls back to the default folder when /D= names one it
  ; cannot use; a silent run would then install where nobody asked.
  System::Call 'kernel32::GetCommandLineW() t .r0'
  ClearErrors
  ${GetOptionsS} $0 "/D=" $1
  ${IfNot} ${Errors}
    StrCpy $2 $1 1 -1
    ${If} $2 == "\"
      StrCpy $1 $1 -1
    ${EndIf}
    ${If} $1 != $INSTDIR
      MessageBox MB_OK|MB_ICONSTOP "Setup cannot install into $1.$\r$\n$\r$\nChoose a folder you can write to." /SD IDOK
      SetErrorLevel ${EXIT_FAILED}
      Abort
    ${EndIf}
  ${EndIf}
  StrCpy $ExistingDir ""
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} ${FileExists} "$0\KVRSVC.EXE"
    StrCpy $ExistingDir $0
  ${EndIf}
  ; An installation is upgraded where it is: a second copy elsewhere would
  ; leave the service pointing at the old one.
  ${If} $ExistingDir != ""
  ${AndIf} $ExistingDir != $INSTDIR
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} is already installed in $ExistingDir.$\r$\n$\r$\n\
      Run Setup without choosing another folder to upgrade that installation, \
      or remove it first in Add/Remove Programs." /SD IDOK
    SetErrorLevel ${EXIT_FAILED}
    Abort
  ${EndIf}
FunctionEnd

Function SkipDirectoryOnUpgrade
  ${If} $ExistingDir != ""
    Abort
  ${EndIf}
FunctionEnd

Section "-${PRODUCT}"
  SetRegView 64
  StrCpy $Placed 0
  StrCpy $ServiceWasUp 0
  InitPluginsDir
  SetOutPath "$PLUGINSDIR"
  File "${KVR_BIN}/kvrsetup.exe"

  ; Nothing is changed until the folder is writable and no file we replace is
  ; held by a running program.
  ClearErrors
  CreateDirectory "$INSTDIR"
  !insertmacro FailIfErrors "Setup cannot create the folder $INSTDIR.$\r$\n$\r$\nChoose a folder you can write to."
  FileOpen $0 "$INSTDIR\~kvrsetup.tmp" w
  !insertmacro FailIfErrors "Setup cannot write to the folder $INSTDIR.$\r$\n$\r$\nChoose a folder you can write to."
  FileClose $0
  Delete "$INSTDIR\~kvrsetup.tmp"

  !insertmacro Helper "service-state"
  ${If} $1 == "running"
    DetailPrint "Stopping the running service..."
    !insertmacro Helper "stop-service"
    ${If} $0 != 0
      StrCpy $Failure "The running service could not be stopped:$\r$\n$1"
      Call Fail
    ${EndIf}
    StrCpy $ServiceWasUp 1
  ${EndIf}
  !insertmacro Helper 'files-free "$INSTDIR\KVRSVC.EXE" "$INSTDIR\KVRAUTH.DLL" "$INSTDIR\Uninstall.exe" \
    "$SYSDIR\KVRUI.CPL" "$SYSDIR\KVRBRWS.DLL"'
  ${If} $0 != 0
    StrCpy $Failure "Setup cannot replace files that are in use:$\r$\n$\r$\n$1$\r$\n\
      Close the programs using them (Quelt Chooser, the Control Panel, programs with an open port) \
      and run Setup again. Nothing has been changed."
    Call Fail
  ${EndIf}

  StrCpy $Placed 1
  DetailPrint "The service and its user-interface library..."
  SetOutPath "$INSTDIR"
  ClearErrors
  File "${KVR_BIN}/KVRSVC.EXE"
  File "${KVR_BIN}/KVRAUTH.DLL"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  !insertmacro FailIfErrors "Setup could not write the program files into $INSTDIR."

  DetailPrint "Quelt Chooser in the Control Panel, and the browsing library..."
  SetOutPath "$SYSDIR"
  ClearErrors
  File "${KVR_BIN}/KVRBRWS.DLL"
  File "${KVR_BIN}/KVRUI.CPL"
  !insertmacro FailIfErrors "Setup could not write KVRUI.CPL and KVRBRWS.DLL into $SYSDIR."
  SetOutPath "$INSTDIR"

  DetailPrint "The installation folder: QUELT and DeviceFile..."
  ClearErrors
  WriteRegStr HKLM "${ENVIRONMENT_KEY}" "QUELT" "$INSTDIR"
  WriteRegStr HKLM "${SERVERS_KEY}" "DeviceFile" "$INSTDIR\${DEVICE_FILE}"
  !insertmacro FailIfErrors "Setup could not write the QUELT variable and DeviceFile into the registry."
  ; This run and the helper see the new value at once; other programs on
  ; the broadcast.
  System::Call 'kernel32::SetEnvironmentVariable(t "QUELT", t "$INSTDIR")'
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=2000

  DetailPrint "The device-type catalogue..."
  ClearErrors
  !insertmacro KvrWriteRegFile
  !insertmacro FailIfErrors "Setup could not write the device-type catalogue into the registry."

  DetailPrint "The ports COM1 to COM4..."
  !insertmacro Helper 'port-keys "$SYSDIR\KVRBRWS.DLL"'
  ${If} $0 != 0
    StrCpy $Failure "Setup could not write the port configuration:$\r$\n$1"
    Call Fail
  ${EndIf}
  !insertmacro Helper "upgrade-flag"
  ${If} $0 != 0
    StrCpy $Failure "Setup could not mark the upgrade of the old settings:$\r$\n$1"
    Call Fail
  ${EndIf}

  DetailPrint "The service..."
  !insertmacro Helper "service-state"
  ${If} $1 == "absent"
    nsExec::ExecToStack '"$INSTDIR\KVRSVC.EXE" -install'
    Pop $0
    Pop $1
    !insertmacro DetailLines "KVRSVC -install: $1"
  ${EndIf}
  !insertmacro Helper "start-service"
  ${If} $0 != 0
    StrCpy $Failure "The service could not be started:$\r$\n$1"
    Call Fail
  ${EndIf}

  ClearErrors
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${KVR_VERSION}"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMajor" ${KVR_VERSION_MAJOR}
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMinor" ${KVR_VERSION_MINOR}
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Quelt"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\KVRSVC.EXE"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
  !insertmacro FailIfErrors "Setup could not write its entry in Add/Remove Programs."
SectionEnd

; ---------------------------------------------------------------------------
; The uninstaller.

Function un.onInit
  SetRegView 64
  StrCpy $Purge 0
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/PURGE" $1
  ${IfNot} ${Errors}
    StrCpy $Purge 1
  ${EndIf}
FunctionEnd

Function un.ConfirmPage
  !insertmacro MUI_HEADER_TEXT "Remove ${PRODUCT}" "Remove ${PRODUCT} ${KVR_VERSION} from this computer."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 56u "Setup will stop the dial-out service and remove it, Quelt Chooser and \
    their libraries from this computer.$\r$\n$\r$\nFolder: $INSTDIR$\r$\n$\r$\nYour configuration (the \
    ports, the known servers and the options) is kept for a later installation unless you remove it too."
  Pop $0
  ${NSD_CreateCheckbox} 0 64u 100% 12u "&Also remove my configuration"
  Pop $PurgeBox
  ${If} $Purge == 1
    ${NSD_Check} $PurgeBox
  ${EndIf}
  GetDlgItem $0 $HWNDPARENT 1
  SendMessage $0 ${WM_SETTEXT} 0 "STR:$(^UninstallBtn)"
  nsDialogs::Show
FunctionEnd

Function un.ConfirmPageLeave
  ${NSD_GetState} $PurgeBox $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $Purge 1
  ${Else}
    StrCpy $Purge 0
  ${EndIf}
FunctionEnd

Function un.Fail
  !insertmacro DetailLines "$Failure"
  MessageBox MB_OK|MB_ICONSTOP "$Failure" /SD IDOK
  SetErrorLevel ${EXIT_FAILED}
  Abort
FunctionEnd

Function un.RemoveConfiguration
  DetailPrint "Your configuration..."
  DeleteRegKey HKLM "${REZORIV_KEY}"
  DeleteRegKey HKLM "${SERVERS_KEY}"
  DeleteRegKey /ifempty HKLM "${QUELT_KEY}"
  DeleteRegKey HKCU "${CHOOSER_USER_KEY}"
  Push "$INSTDIR\${DEVICE_FILE}"
  Call un.DeleteOurFile
  ; EnumRegKey fails only on a key that is not there.
  ClearErrors
  EnumRegKey $0 HKLM "${REZORIV_KEY}" 0
  ${IfNot} ${Errors}
    Push "${REZORIV_KEY} could not be removed from the registry."
    Call un.NoteProblem
  ${EndIf}
  ClearErrors
  EnumRegKey $0 HKLM "${SERVERS_KEY}" 0
  ${IfNot} ${Errors}
    Push "${SERVERS_KEY} could not be removed from the registry."
    Call un.NoteProblem
  ${EndIf}
FunctionEnd

Section "Uninstall"
  SetRegView 64
  StrCpy $ServiceWasUp 0
  InitPluginsDir
  SetOutPath "$PLUGINSDIR"
  File "${KVR_BIN}/kvrsetup.exe"
  SetOutPath "$TEMP"

  ; The service holds its files while it runs: stop it, then make sure no
  ; other program holds one, before anything is removed.
  !insertmacro Helper "service-state"
  ${If} $1 == "running"
    DetailPrint "Stopping the service..."
    !insertmacro Helper "stop-service"
    ${If} $0 != 0
      StrCpy $Failure "The service could not be stopped:$\r$\n$1$\r$\nNothing has been removed."
      Call un.Fail
    ${EndIf}
    StrCpy $ServiceWasUp 1
  ${EndIf}
  ; The uninstaller in the folder is one of them, unless it is what runs.
  StrCpy $0 '"$INSTDIR\Uninstall.exe"'
  ${If} "$EXEPATH" == "$INSTDIR\Uninstall.exe"
    StrCpy $0 ""
  ${EndIf}
  !insertmacro Helper 'files-free "$INSTDIR\KVRSVC.EXE" "$INSTDIR\KVRAUTH.DLL" "$SYSDIR\KVRUI.CPL" \
    "$SYSDIR\KVRBRWS.DLL" $0'
  ${If} $0 != 0
    ${If} $ServiceWasUp == 1
      !insertmacro Helper "start-service"
    ${EndIf}
    StrCpy $Failure "Files of ${PRODUCT} are in use:$\r$\n$\r$\n$1$\r$\nClose the programs using them \
      (Quelt Chooser, the Control Panel) and remove ${PRODUCT} again. Nothing has been removed."
    Call un.Fail
  ${EndIf}

  Call un.RemoveInstalled
  ${If} $Purge == 1
    Call un.RemoveConfiguration
  ${EndIf}
  RMDir "$INSTDIR"
  ${If} $Problems != ""
    StrCpy $Failure "${PRODUCT} could not be removed completely:$\r$\n$\r$\n$Problems"
    Call un.Fail
  ${EndIf}
SectionEnd
