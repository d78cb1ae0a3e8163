; SPDX-License-Identifier: GPL-3.0-or-later
; The Windows installer of GUI-Vonk, for makensis (scripts/dist-windows.sh
; gives VERSION, PROGRAM, ICON and OUTFILE). gui-vonk.exe carries everything
; else it needs; the installer adds a Start-menu entry and an uninstaller.
; Installed for the current user: no administrator rights are asked for,
; and the program folder stays writable by the program.
; A 64-bit installer for a 64-bit program (and one Wine without its 32-bit
; half can run).
Target amd64-unicode
SetCompressor /SOLID lzma

Name "GUI-Vonk"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
InstallDir "$LOCALAPPDATA\Programs\GUI-Vonk"
InstallDirRegKey HKCU "Software\GUI-Vonk" "InstallDir"
RequestExecutionLevel user
ShowInstDetails show

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1040 "ProductName" "GUI-Vonk"
VIAddVersionKey /LANG=1040 "FileDescription" "Installazione di GUI-Vonk"
VIAddVersionKey /LANG=1040 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1040 "LegalCopyright" "GPL-3.0-or-later"

LoadLanguageFile "${NSISDIR}\Contrib\Language files\Italian.nlf"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\GUI-Vonk"

Section "GUI-Vonk"
    SetOutPath "$INSTDIR"
    File "/oname=gui-vonk.exe" "${PROGRAM}"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateDirectory "$SMPROGRAMS\GUI-Vonk"
    CreateShortcut "$SMPROGRAMS\GUI-Vonk\GUI-Vonk.lnk" "$INSTDIR\gui-vonk.exe" "" "$INSTDIR\gui-vonk.exe" 0
    CreateShortcut "$SMPROGRAMS\GUI-Vonk\Disinstalla GUI-Vonk.lnk" "$INSTDIR\uninstall.exe"
    WriteRegStr HKCU "Software\GUI-Vonk" "InstallDir" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "GUI-Vonk"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\gui-vonk.exe,0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    Delete "$SMPROGRAMS\GUI-Vonk\GUI-Vonk.lnk"
    Delete "$SMPROGRAMS\GUI-Vonk\Disinstalla GUI-Vonk.lnk"
    RMDir "$SMPROGRAMS\GUI-Vonk"
    ; Only what the installer put there: files the program wrote out and
    ; could not remove are left for the user to see.
    Delete "$INSTDIR\gui-vonk.exe"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    DeleteRegKey HKCU "Software\GUI-Vonk"
SectionEnd
