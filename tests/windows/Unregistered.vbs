' After regsvr32 /u: the ProgID no longer leads anywhere, so CreateObject fails with 429
' ("ActiveX component can't create object"), and the class's registry entries are gone.
Option Explicit

Dim passed, failed, shell, q, key
passed = 0
failed = 0

Sub Check(what, actual, expected)
    If actual = expected Then
        passed = passed + 1
    Else
        failed = failed + 1
        WScript.Echo "FAIL " & what & ": expected [" & expected & "], got [" & actual & "]"
    End If
End Sub

On Error Resume Next
Set q = CreateObject("Kemrin_Quillax.Quillax")
Check "CreateObject after unregistration", Err.Number, 429
Err.Clear

Set shell = CreateObject("WScript.Shell")
For Each key In Array("HKCR\Kemrin_Quillax.Quillax\", _
                      "HKCR\CLSID\{6A358604-6623-4CD5-A879-3DF0EABE5F83}\", _
                      "HKCR\TypeLib\{651DA609-F03C-46AC-BA79-9A7E47FD512E}\1.0\")
    shell.RegRead key
    Check key & " removed", Err.Number <> 0, True
    Err.Clear
Next

WScript.Echo passed & " passed, " & failed & " failed"
