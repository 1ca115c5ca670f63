; The installer of Kestrunes IP Tool for 64-bit Windows, built with NSIS 3:
;
;   makensis -DEXE=IP.exe -DICON=IP.ico -DOUTFILE=setup.exe \
;            -DVERSION=<major.minor> -DVERSION_QUAD=<major.minor.patch.0> installer.nsi
;
; The build runs it so (cmake/Install.cmake), with the version of project()
; in CMakeLists.txt: VERSION as people read it, VERSION_QUAD as Windows does.
;
; It installs IP.exe under Program Files, adds a Start-menu shortcut, offers
; to start the program at logon (off unless chosen, or /STARTATLOGON given),
; and registers an uninstaller, which takes all of that away again and keeps
; the user's settings (HKCU\Software\VB and VBA Program Settings\Kestrune\IP).
; Both run silently with /S.

!ifndef VERSION
  !error "no VERSION: the build passes it (-DVERSION=...)"
!endif
!ifndef VERSION_QUAD
  !error "no VERSION_QUAD: the build passes it (-DVERSION_QUAD=...)"
!endif

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "x64.nsh"

!define PRODUCT "Kestrunes IP Tool"
!define PUBLISHER "Kestrune"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KestrunesIPTool"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PUBLISHER}\${PRODUCT}"
RequestExecutionLevel admin
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION_QUAD}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright (C) 2026 Kestrune. All rights reserved."

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\IP.exe"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "${PRODUCT}" SectionProgram
    SectionIn RO
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    File "/oname=IP.exe" "${EXE}"
    WriteUninstaller "$INSTDIR\Uninstall.exe"
    CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\IP.exe" "" "$INSTDIR\IP.exe" 0

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\IP.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" "$\"$INSTDIR\Uninstall.exe$\""
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" "$\"$INSTDIR\Uninstall.exe$\" /S"
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section /o "Start ${PRODUCT} when I log on" SectionLogon
    WriteRegStr HKCU "${RUN_KEY}" "${PRODUCT}" "$\"$INSTDIR\IP.exe$\""
SectionEnd

Function .onInit
    ${IfNot} ${RunningX64}
        MessageBox MB_ICONSTOP "${PRODUCT} needs 64-bit Windows 10 or later." /SD IDOK
        Abort
    ${EndIf}
    SetRegView 64
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/STARTATLOGON" $1
    ${IfNot} ${Errors}
        SectionSetFlags ${SectionLogon} ${SF_SELECTED}
    ${EndIf}
FunctionEnd

Function un.onInit
    SetRegView 64
FunctionEnd

Section "Uninstall"
    SetShellVarContext all
    Delete /REBOOTOK "$INSTDIR\IP.exe"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
    RMDir "$PROGRAMFILES64\${PUBLISHER}"
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    ; The user's settings stay, for a later install.
SectionEnd
