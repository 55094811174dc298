; SPDX-License-Identifier: MIT
; The Windows installer, made by packaging/windows/make_packages.cmake:
;   makensis -NOCD -DVERSION=0.05 -DNUMERIC_VERSION=0.5.0.0 -DOUTFILE=setup.exe
;            -DINSTALL_FILES=list.nsh -DUNINSTALL_FILES=list.nsh [-DWITH_WINDOW] movanta.nsi
; Per machine into Program Files\Movanta (or /D=), silent with /S; so is its uninstaller.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Movanta"

Name "Movanta ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Movanta"
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${NUMERIC_VERSION}"
VIAddVersionKey "ProductName" "Movanta"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "Movanta ${VERSION} Setup"
VIAddVersionKey "LegalCopyright" "MIT License"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Movanta"
    SetShellVarContext all
    SetRegView 64
    !include "${INSTALL_FILES}"
    WriteUninstaller "$INSTDIR\Uninstall.exe"

!ifdef WITH_WINDOW
    ; The working folder of each entry is the program's own.
    SetOutPath "$INSTDIR"
    CreateShortcut "$SMPROGRAMS\Movanta.lnk" "$INSTDIR\Movanta.exe"
    SetOutPath "$INSTDIR\Simulator"
    CreateShortcut "$SMPROGRAMS\Movanta (Simulator).lnk" "$INSTDIR\Simulator\Movanta.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Movanta.exe"
!endif

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Movanta"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Movanta developers"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    SetRegView 64
    Delete "$SMPROGRAMS\Movanta.lnk"
    Delete "$SMPROGRAMS\Movanta (Simulator).lnk"
    !include "${UNINSTALL_FILES}"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
