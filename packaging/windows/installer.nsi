; The Windows installer: the three programs, the help file and the documents in one folder,
; that folder on PATH, a Start-menu entry for the help, and an uninstaller that takes all of it
; away again. Elevated, it installs for all users (Program Files, the machine's PATH);
; otherwise for the current user (the user's programs folder, the user's PATH). /S installs
; and uninstalls silently.
;   makensis -DVERSION=1.0.0 -DSTAGING=<installed files> -DOUTFILE=<setup.exe> installer.nsi

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel highest

!include LogicLib.nsh
!include WinMessages.nsh
!include x64.nsh

!define PRODUCT "xpsconv"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define MACHINE_ENVIRONMENT "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
ShowInstDetails show
ShowUninstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Var AllUsers

; Sets $AllUsers from the account the installer runs under.
!macro ChooseScope UN
Function ${UN}ChooseScope
  StrCpy $AllUsers 0
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 == "Admin"
    StrCpy $AllUsers 1
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
FunctionEnd
!macroend
!insertmacro ChooseScope ""
!insertmacro ChooseScope "un."

; Reads PATH of the chosen scope into $0; $1 is 1 when it is too long to be edited safely.
!macro ReadPath UN
Function ${UN}ReadPath
  ${If} $AllUsers == 1
    ReadRegStr $0 HKLM "${MACHINE_ENVIRONMENT}" "Path"
  ${Else}
    ReadRegStr $0 HKCU "Environment" "Path"
  ${EndIf}
  StrLen $2 $0
  IntOp $3 ${NSIS_MAX_STRLEN} - 2
  StrCpy $1 0
  ; A value at the length limit may have been cut: writing it back would lose entries.
  ${If} $2 >= $3
    StrCpy $1 1
  ${EndIf}
FunctionEnd
!macroend
!insertmacro ReadPath ""
!insertmacro ReadPath "un."

; Writes $0 as PATH of the chosen scope and tells running programs.
!macro WritePath UN
Function ${UN}WritePath
  ${If} $AllUsers == 1
    WriteRegExpandStr HKLM "${MACHINE_ENVIRONMENT}" "Path" $0
  ${Else}
    WriteRegExpandStr HKCU "Environment" "Path" $0
  ${EndIf}
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
FunctionEnd
!macroend
!insertmacro WritePath ""
!insertmacro WritePath "un."

; $0 without the entry $INSTDIR (compared without letter case); the result in $0.
!macro RemoveEntry UN
Function ${UN}RemoveEntry
  StrCpy $4 ""   ; the entries kept
  StrCpy $5 $0   ; what is left to read
  ${Do}
    ${If} $5 == ""
      ${ExitDo}
    ${EndIf}
    ; $6: the next entry, up to the next ';'
    StrCpy $7 0
    ${Do}
      StrCpy $8 $5 1 $7
      ${If} $8 == ";"
      ${OrIf} $8 == ""
        ${ExitDo}
      ${EndIf}
      IntOp $7 $7 + 1
    ${Loop}
    StrCpy $6 $5 $7
    IntOp $7 $7 + 1
    StrCpy $5 $5 "" $7
    ${If} $6 != ""
    ${AndIf} $6 != "$INSTDIR"
    ${AndIf} $6 != "$INSTDIR\"
      ${If} $4 == ""
        StrCpy $4 $6
      ${Else}
        StrCpy $4 "$4;$6"
      ${EndIf}
    ${EndIf}
  ${Loop}
  StrCpy $0 $4
FunctionEnd
!macroend
!insertmacro RemoveEntry ""
!insertmacro RemoveEntry "un."

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "${PRODUCT} needs 64-bit Windows." /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
  Call ChooseScope
  ${If} $AllUsers == 0
    StrCpy $INSTDIR "$LOCALAPPDATA\Programs\${PRODUCT}"
  ${EndIf}
FunctionEnd

Section "xpsconv"
  SetOutPath "$INSTDIR"
  File "${STAGING}\xpsconv.exe"
  File "${STAGING}\proc.dll"
  File "${STAGING}\mstar.dll"
  File "${STAGING}\Command line.txt"
  File "${STAGING}\README.md"
  File "${STAGING}\LICENSE"
  File "${STAGING}\THIRD-PARTY.md"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortCut "$SMPROGRAMS\${PRODUCT}\${PRODUCT} help.lnk" "$INSTDIR\Command line.txt"

  ${If} $AllUsers == 1
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} ${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "xpsconv developers"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${Else}
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} ${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "xpsconv developers"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${EndIf}

  Call ReadPath
  ${If} $1 == 1
    DetailPrint "PATH is too long to be changed safely: add $INSTDIR to it yourself."
  ${Else}
    Call RemoveEntry   ; never twice, also when installed again over itself
    ${If} $0 == ""
      StrCpy $0 "$INSTDIR"
    ${Else}
      StrCpy $0 "$0;$INSTDIR"
    ${EndIf}
    Call WritePath
  ${EndIf}
SectionEnd

Function un.onInit
  SetRegView 64
  Call un.ChooseScope
FunctionEnd

Section "Uninstall"
  Call un.ReadPath
  ${If} $1 == 0
    Call un.RemoveEntry
    Call un.WritePath
  ${EndIf}
  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT} help.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"
  ${If} $AllUsers == 1
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ${Else}
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ${EndIf}
  Delete "$INSTDIR\xpsconv.exe"
  Delete "$INSTDIR\proc.dll"
  Delete "$INSTDIR\mstar.dll"
  Delete "$INSTDIR\Command line.txt"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\LICENSE"
  Delete "$INSTDIR\THIRD-PARTY.md"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
