; The KORVA-TB Scope installer for 64-bit Windows: the program with its panel file, the Qt and
; compiler DLLs and plug-ins it loads, its font, two Start-menu entries and an uninstaller.
;
;   makensis -DVERSION=<x.y.z> -DSTAGE=<folder> -DLISTS=<folder> -DICON=<.ico> -DOUTFILE=<setup.exe> \
;            korva-tb-scope.nsi
;
; STAGE holds the files to install; LISTS what scripts/windows wrote of them: install.nsh (the
; folders and File lines) and uninstall.nsh (a Delete line for every file and an RMDir for every
; folder, deepest first), so that the uninstaller removes exactly what was installed.

Unicode true
; The 64-bit stub: a 32-bit one does not run on a Windows without 32-bit support.
Target amd64-unicode
SetCompressor /SOLID lzma

!define PRODUCT "KORVA-TB Scope"
!define PROGRAM "KorvaTBScope11Xe.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "Software\${PRODUCT}" "InstallDir"
RequestExecutionLevel admin
Icon "${ICON}"
UninstallIcon "${ICON}"
BrandingText "${PRODUCT} ${VERSION}"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Install"
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    !include "${LISTS}/install.nsh"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${PROGRAM}" "" "$INSTDIR\${PROGRAM}" 0
    CreateShortcut "$SMPROGRAMS\${PRODUCT} (simulated sensor).lnk" "$INSTDIR\${PROGRAM}" "--demo" \
        "$INSTDIR\${PROGRAM}" 0 SW_SHOWNORMAL "" "${PRODUCT} with the simulated sensor built in"

    WriteRegStr HKLM "Software\${PRODUCT}" "InstallDir" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PRODUCT} developers"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PROGRAM}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    Delete "$SMPROGRAMS\${PRODUCT} (simulated sensor).lnk"
    !include "${LISTS}/uninstall.nsh"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    DeleteRegKey HKLM "Software\${PRODUCT}"
SectionEnd
