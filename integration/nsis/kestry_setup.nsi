; An example installer for a game that ships remove_install_keys.exe: it
; writes the game's registry record as the game's installer does, and its
; uninstaller runs the tool and acts on the tool's exit status.
;
;   makensis -DTOOL_EXE=path/to/remove_install_keys.exe [-DOUTFILE=setup.exe] kestry_setup.nsi
;
; Both the installer and the uninstaller take /LOG=FILE: every line they
; write to their details log is also appended to FILE, which is how a
; silent run (/S) can be followed.

Unicode true
RequestExecutionLevel admin ; the record lives in HKEY_LOCAL_MACHINE

!include LogicLib.nsh
!include FileFunc.nsh

!ifndef TOOL_EXE
    !error "Define TOOL_EXE, the path of the remove_install_keys.exe to ship."
!endif
!ifndef OUTFILE
    !define OUTFILE kestry_setup.exe
!endif

!define GAME_KEY "SOFTWARE\Quorvane\Pallisor\Installed Games\vastrel\Kestry-2007"
!define CONTENT_KEY "${GAME_KEY}\online_content\Kestry_velloc_eu"
!define UNINSTALL_KEY "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Kestry-2007"

Name "Kestry 2007"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Quorvane\Kestry 2007"
ShowInstDetails show
ShowUninstDetails show

Var LogFile

; Writes a line to the details log, and to the /LOG file if one was given.
!macro Say text
    DetailPrint "${text}"
    ${If} $LogFile != ""
        FileOpen $9 $LogFile a
        FileSeek $9 0 END
        FileWrite $9 "${text}$\r$\n"
        FileClose $9
    ${EndIf}
!macroend

Function .onInit
    ${GetParameters} $R0
    ${GetOptions} $R0 "/LOG=" $LogFile
FunctionEnd

Function un.onInit
    ${un.GetParameters} $R0
    ${un.GetOptions} $R0 "/LOG=" $LogFile
FunctionEnd

Section "Kestry 2007"
    SetOutPath "$INSTDIR"
    File "/oname=remove_install_keys.exe" "${TOOL_EXE}"
    FileOpen $0 "$INSTDIR\kestry.txt" w
    FileWrite $0 "Kestry 2007 stands in for the game's files.$\r$\n"
    FileClose $0
    WriteUninstaller "$INSTDIR\uninstall.exe"

    ; The game's record, in the 32-bit view that the 32-bit tool sees.
    SetRegView 32
    WriteRegStr HKLM "${GAME_KEY}" "InstallDir" "$INSTDIR"
    WriteRegStr HKLM "${GAME_KEY}" "Version" "1.0.3"
    WriteRegStr HKLM "${GAME_KEY}\online_content" "Count" "1"
    WriteRegStr HKLM "${CONTENT_KEY}" "Name" "Velloc"
    WriteRegStr HKLM "${CONTENT_KEY}" "Region" "eu"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Kestry 2007"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "1.0.3"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Quorvane"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'

    ; The version resource of the tool shipped, for whoever supports it.
    GetDLLVersion "$INSTDIR\remove_install_keys.exe" $R0 $R1
    IntOp $R2 $R0 >> 16
    IntOp $R3 $R0 & 0xFFFF
    IntOp $R4 $R1 >> 16
    IntOp $R5 $R1 & 0xFFFF
    !insertmacro Say "Installed remove_install_keys.exe version $R2.$R3.$R4.$R5"
SectionEnd

Section "Uninstall"
    ; ---- The block a real uninstaller needs: copy it. ----
    ; Run the tool before its folder goes, with the uninstaller's own rights.
    ; It deletes the record's three keys, innermost first, and exits with
    ; the status of the last deletion, the game key's. Its echo of the
    ; command line goes to the details log.
    nsExec::ExecToLog '"$INSTDIR\remove_install_keys.exe" /uninstall "$INSTDIR"'
    Pop $0 ; the exit status, or "error" if the tool could not be started
    ${If} $0 == 0
        !insertmacro Say "remove_install_keys exit status 0: the game's registry record was removed."
    ${ElseIf} $0 == 2
        ; The game key cannot be missing while keys under it remain.
        !insertmacro Say "remove_install_keys exit status 2: the game's registry record was already gone."
    ${Else}
        ; 5: something else still lives under the game key, or the rights
        ; were lacking. Leave the remains, and the game, for a second try;
        ; 2 is the exit status of an uninstall aborted by its script.
        !insertmacro Say "remove_install_keys exit status $0: the game's registry record could not be removed; it stays, and so does the game."
        SetErrorLevel 2
        Quit
    ${EndIf}
    ; ---- End of the block. ----

    Delete "$INSTDIR\remove_install_keys.exe"
    Delete "$INSTDIR\kestry.txt"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    SetRegView 32
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    !insertmacro Say "Kestry 2007 was uninstalled."
SectionEnd
