' The component as a page script sees it on Windows: created by ProgID, every property read
' and set through the script host's own conversions, images saved for each case of
' cases.txt and held byte for byte against the Linux build's files of the same properties,
' and the error records a script reads from Err.
'
'   cscript //nologo QuillaxSuite.vbs CASES REFERENCE-FOLDER OUTPUT-FOLDER DLL-PATH
'
' The script host swallows an uncaught error and exits quietly, so the closing line
' "N passed, M failed" is the suite's verdict: without it, nothing ran to the end.
Option Explicit

Const ProgID = "Kemrin_Quillax.Quillax"
Const ClassID = "{6A358604-6623-4CD5-A879-3DF0EABE5F83}"
Const LibraryID = "{651DA609-F03C-46AC-BA79-9A7E47FD512E}"
Const E_UNEXPECTED = &H8000FFFF
Const TypeMismatch = 13
Const Overflow = 6
Const NoSuchMember = 438
Const WrongArgumentCount = 450

Dim passed, failed, fso
passed = 0
failed = 0
Set fso = CreateObject("Scripting.FileSystemObject")

' Numbers of any width compare as numbers; strings, booleans and the rest by their kind too.
Function Kind(value)
    Select Case VarType(value)
        Case vbInteger, vbLong, vbSingle, vbDouble, vbByte: Kind = "number"
        Case Else: Kind = TypeName(value)
    End Select
End Function

Sub Check(what, actual, expected)
    If Kind(actual) = Kind(expected) And actual = expected Then
        passed = passed + 1
    Else
        failed = failed + 1
        WScript.Echo "FAIL " & what & ": expected " & TypeName(expected) & " [" & expected & _
            "], got " & TypeName(actual) & " [" & actual & "]"
    End If
End Sub

' The Err of the statement just run, as "number|description|source", then cleared.
Function ErrorRecord()
    ErrorRecord = "&H" & Hex(Err.Number) & "|" & Err.Description & "|" & Err.Source
    Err.Clear
End Function

Function NewQuillax()
    Set NewQuillax = CreateObject(ProgID)
End Function

' Every property by name: the one place that names them for reading and for writing.
Function GetProperty(q, name)
    Select Case LCase(name)
        Case "imagetypestr": GetProperty = q.ImageTypeStr
        Case "imagetype": GetProperty = q.ImageType
        Case "barcodetype": GetProperty = q.BarcodeType
        Case "orientation": GetProperty = q.Orientation
        Case "data": GetProperty = q.Data
        Case "checksum": GetProperty = q.Checksum
        Case "narrowbarwidth": GetProperty = q.NarrowBarWidth
        Case "showtext": GetProperty = q.ShowText
        Case "height": GetProperty = q.Height
        Case "ratio": GetProperty = q.Ratio
        Case "bgcolor": GetProperty = q.BGColor
        Case "barcolor": GetProperty = q.BarColor
        Case "checksummethod": GetProperty = q.ChecksumMethod
        Case "layout": GetProperty = q.Layout
        Case "quietzone": GetProperty = q.QuietZone
        Case "resolution": GetProperty = q.Resolution
        Case "xdimension": GetProperty = q.XDimension
        Case "actualxdimension": GetProperty = q.ActualXDimension
        Case Else: Err.Raise 5, "QuillaxSuite", "no property " & name
    End Select
End Function

Sub SetProperty(q, name, value)
    Select Case LCase(name)
        Case "imagetypestr": q.ImageTypeStr = value
        Case "imagetype": q.ImageType = value
        Case "barcodetype": q.BarcodeType = value
        Case "orientation": q.Orientation = value
        Case "data": q.Data = value
        Case "checksum": q.Checksum = value
        Case "narrowbarwidth": q.NarrowBarWidth = value
        Case "showtext": q.ShowText = value
        Case "height": q.Height = value
        Case "ratio": q.Ratio = value
        Case "bgcolor": q.BGColor = value
        Case "barcolor": q.BarColor = value
        Case "checksummethod": q.ChecksumMethod = value
        Case "layout": q.Layout = value
        Case "quietzone": q.QuietZone = value
        Case "resolution": q.Resolution = value
        Case "xdimension": q.XDimension = value
        Case Else: Err.Raise 5, "QuillaxSuite", "no property " & name
    End Select
End Sub

' A file's bytes as a string of one character per byte.
Function ReadBytes(path)
    Dim file
    ReadBytes = ""
    If Not fso.FileExists(path) Then Exit Function
    If fso.GetFile(path).Size = 0 Then Exit Function
    Set file = fso.OpenTextFile(path, 1, False, 0)
    ReadBytes = file.Read(fso.GetFile(path).Size)
    file.Close
End Function

' 0 when both files hold the same bytes, -1 when their sizes differ, else the first byte
' (from 1) that differs. The host compares strings only up to a zero character, so the
' bytes are compared one by one.
Function FirstDifference(pathA, pathB)
    Dim a, b, i
    If Not fso.FileExists(pathA) Or Not fso.FileExists(pathB) Then
        FirstDifference = -2
        Exit Function
    End If
    a = ReadBytes(pathA)
    b = ReadBytes(pathB)
    FirstDifference = 0
    If Len(a) <> Len(b) Then
        FirstDifference = -1
        Exit Function
    End If
    For i = 1 To Len(a)
        If Asc(Mid(a, i, 1)) <> Asc(Mid(b, i, 1)) Then
            FirstDifference = i
            Exit Function
        End If
    Next
End Function

Dim args
Set args = WScript.Arguments
If args.Count <> 4 Then
    WScript.Echo "usage: QuillaxSuite.vbs CASES REFERENCE-FOLDER OUTPUT-FOLDER DLL-PATH"
    WScript.Quit 2
End If

On Error Resume Next

' --- The registration that regsvr32 wrote -------------------------------------------
Dim shell, rows, row
Set shell = CreateObject("WScript.Shell")
rows = Array( _
    Array("HKCR\" & ProgID & "\", "Quillax Object"), _
    Array("HKCR\" & ProgID & "\Clsid\", ClassID), _
    Array("HKCR\CLSID\" & ClassID & "\", "Quillax Object"), _
    Array("HKCR\CLSID\" & ClassID & "\InprocServer32\ThreadingModel", "Both"), _
    Array("HKCR\CLSID\" & ClassID & "\ProgID\", ProgID), _
    Array("HKCR\CLSID\" & ClassID & "\Version\", "1.0"), _
    Array("HKCR\CLSID\" & ClassID & "\TypeLib\", LibraryID), _
    Array("HKCR\TypeLib\" & LibraryID & "\1.0\", "Kemrin_Quillax Library"), _
    Array("HKCR\TypeLib\" & LibraryID & "\1.0\409\win32\", args(3)))
For Each row In rows
    Check "registry " & row(0), LCase(shell.RegRead(row(0))), LCase(row(1))
    Check "registry " & row(0) & " error", ErrorRecord(), "&H0||"
Next

' The library's path, in a folder whose name has a space, is registered in its short form.
Dim server
server = shell.RegRead("HKCR\CLSID\" & ClassID & "\InprocServer32\")
Check "InprocServer32 read", ErrorRecord(), "&H0||"
Check "InprocServer32 has no space", InStr(server, " "), 0
Check "InprocServer32 names the library", fso.FileExists(server), True
Check "InprocServer32 is the library's file", fso.GetFile(server).Size, fso.GetFile(args(3)).Size
Check "InprocServer32 file name", UCase(fso.GetExtensionName(server)), "DLL"

' --- Created by ProgID; the type information names the interface -----------------------
Dim q
Set q = NewQuillax()
Check "CreateObject", ErrorRecord(), "&H0||"
Check "TypeName", TypeName(q), "IQuillax2"
Check "LastResult before any render", q.LastResult, 0
Check "LastError before any render", q.LastError, ""

' --- Every property's value before any page: zero, false or empty -----------------------
rows = Array( _
    Array("ImageTypeStr", ""), Array("ImageType", 0), Array("BarcodeType", 0), _
    Array("Orientation", 0), Array("Data", ""), Array("Checksum", False), _
    Array("NarrowBarWidth", 0), Array("ShowText", False), Array("Height", 0), _
    Array("Ratio", 0), Array("BGColor", 0), Array("BarColor", 0), Array("ChecksumMethod", 0), _
    Array("Layout", 0), Array("QuietZone", -1), Array("Resolution", 0), Array("XDimension", 0), _
    Array("ActualXDimension", 0))
For Each row In rows
    Check "new object " & row(0), GetProperty(q, row(0)), row(1)
Next

' --- The page start's values; Data is kept ---------------------------------------------
q.Data = "kept"
q.OnStartPage Nothing
Check "OnStartPage without a context", ErrorRecord(), "&H0||"
rows = Array( _
    Array("ImageTypeStr", "BMP"), Array("ImageType", 2), Array("BarcodeType", 14), _
    Array("Orientation", 0), Array("Data", "kept"), Array("Checksum", False), _
    Array("NarrowBarWidth", 1), Array("ShowText", False), Array("Height", 50), _
    Array("Ratio", 1), Array("BGColor", 16777215), Array("BarColor", 0), _
    Array("ChecksumMethod", 1), Array("Layout", 0), Array("QuietZone", -1), _
    Array("Resolution", 0), Array("XDimension", 0), Array("ActualXDimension", 0))
For Each row In rows
    Check "page start " & row(0), GetProperty(q, row(0)), row(1)
Next

' --- Setting every property with the script host's own conversions ---------------------
' Each row: property, value assigned, value read back (names match in any case).
rows = Array( _
    Array("barcodetype", "17", 17), _
    Array("BarcodeType", 300, 44), _
    Array("Orientation", "90", 90), _
    Array("Orientation", -45, -45), _
    Array("Height", "80", 80), _
    Array("NarrowBarWidth", 2.5, 2), _
    Array("NarrowBarWidth", "3.5", 4), _
    Array("Ratio", True, -1), _
    Array("BGColor", &HFF, 255), _
    Array("BarColor", "16711680", 16711680), _
    Array("ChecksumMethod", "0", 0), _
    Array("Checksum", "true", True), _
    Array("Checksum", 0, False), _
    Array("ShowText", True, True), _
    Array("ShowText", "False", False), _
    Array("Data", "caf" & Chr(233) & " " & Chr(128), "caf" & Chr(233) & " " & Chr(128)), _
    Array("Data", 12345, "12345"), _
    Array("ImageTypeStr", "jpeg", "JPEG"), _
    Array("ImageType", 3, 3), _
    Array("ImageType", 9, 3), _
    Array("ImageTypeStr", "gif", "GIF"), _
    Array("ImageType", 4, 4), _
    Array("ImageTypeStr", "svg", "SVG"), _
    Array("Layout", "1", 1), _
    Array("QuietZone", -5, -5), _
    Array("Resolution", "300", 300), _
    Array("XDimension", "0.33", 0.33), _
    Array("XDimension", 1, 1), _
    Array("ImageType", "1", 1))
For Each row In rows
    SetProperty q, row(0), row(1)
    Check "set " & row(0) & " = " & row(1), ErrorRecord(), "&H0||"
    Check "get " & row(0) & " after " & row(1), GetProperty(q, row(0)), row(2)
Next
Check "ImageType 1 names JPG", q.ImageTypeStr, "JPG"
' The narrow bar of 0.33 mm at 300 dpi is 4 pixels: 0.3387 mm.
q.XDimension = 0.33
Check "ActualXDimension in ten-thousandths", Round(q.ActualXDimension * 10000), 3387
q.ActualXDimension = 1
Check "ActualXDimension cannot be set", Err.Number, NoSuchMember
Err.Clear
q.ImageTypeStr = "gif"
Check "ImageType while no format is named", q.ImageType, 0

' What does not convert leaves the property as it was.
q.Height = 80
rows = Array( _
    Array("Height", "eighty", TypeMismatch), _
    Array("Height", 3000000000, Overflow), _
    Array("Checksum", "perhaps", TypeMismatch), _
    Array("XDimension", "thin", TypeMismatch))
For Each row In rows
    SetProperty q, row(0), row(1)
    Check "set " & row(0) & " = " & row(1) & " fails", Err.Number, row(2)
    Err.Clear
Next
Check "Height after failed sets", q.Height, 80

' The script host's own errors for members that do not exist or do not fit.
q.Nonsense = 1
Check "unknown member", Err.Number, NoSuchMember
Err.Clear
q.SaveBarcode "missing Result.bmp"
Check "SaveBarcode without Result", Err.Number, WrongArgumentCount
Err.Clear

' --- Saving: one file per case, equal to the Linux build's file -------------------------
' Result is a typed output (long*): the script host passes its variables only as variant
' references, which the platform's invoke refuses for such a parameter, so a script hands
' it a value. The step codes themselves are checked by the test host.
Dim result, target
result = 0
q.SaveBarcode fso.BuildPath(args(2), "by-reference.bmp"), result
Check "SaveBarcode with Result by reference", Err.Number, TypeMismatch
Err.Clear

Dim cases, line, fields, i, equalName
Set cases = fso.OpenTextFile(args(0), 1)
Do Until cases.AtEndOfStream
    line = cases.ReadLine
    If Len(line) > 0 And Left(line, 1) <> "#" Then
        fields = Split(line, "|")
        Set q = NewQuillax()
        q.OnStartPage Nothing
        For i = 1 To UBound(fields)
            SetProperty q, Left(fields(i), InStr(fields(i), "=") - 1), _
                Mid(fields(i), InStr(fields(i), "=") + 1)
        Next
        Check fields(0) & " properties", ErrorRecord(), "&H0||"
        target = fso.BuildPath(args(2), fields(0))
        q.SaveBarcode target, (result)
        Check fields(0) & " SaveBarcode", ErrorRecord(), "&H0||"
        Check fields(0) & " bytes equal the Linux build's (0: equal, -1: sizes differ)", _
            FirstDifference(target, fso.BuildPath(args(1), fields(0))), 0
        q.OnEndPage
        Check fields(0) & " OnEndPage", ErrorRecord(), "&H0||"
    End If
Loop
cases.Close

' A name that cannot be written leaves nothing and is not reported by the call: LastResult
' and LastError tell.
Set q = NewQuillax()
q.OnStartPage Nothing
target = fso.BuildPath(args(2), "no such folder\image.bmp")
q.SaveBarcode target, 0
Check "SaveBarcode into a missing folder", ErrorRecord(), "&H0||"
Check "no file in a missing folder", fso.FileExists(target), False
Check "LastResult of a file not written", q.LastResult, 5
Check "LastError of a file not written", Left(q.LastError, 20), "Cannot create file """

' --- What became of the last render, as a script reads it --------------------------------
' Each row: BarcodeType, Data, LastResult, LastError after SaveBarcode.
rows = Array( _
    Array(14, "5901234123457", 0, ""), _
    Array(14, "12345ABC", 3, "Barcode must be numeric"), _
    Array(99, "123", 3, "TBarcodeEngine: wrong BarcodeType"))
For Each row In rows
    q.BarcodeType = row(0)
    q.Data = row(1)
    q.SaveBarcode fso.BuildPath(args(2), "last.bmp"), 0
    Check "LastResult after " & row(1), q.LastResult, row(2)
    Check "LastError after " & row(1), q.LastError, row(3)
Next
q.OnStartPage Nothing
Check "LastResult after a page start", q.LastResult, 0
Check "LastError after a page start", q.LastError, ""
q.LastResult = 1
Check "LastResult cannot be set", Err.Number, NoSuchMember
Err.Clear

' --- Error records a script reads from Err -------------------------------------------
Dim noPage
noPage = "&H8000FFFF|No page is active: the Response object is missing|" & ProgID
Set q = NewQuillax()
q.ShowBarcode
Check "ShowBarcode before any page", ErrorRecord(), noPage
q.OnStartPage Nothing
q.ShowBarcode
Check "ShowBarcode with a page start but no context", ErrorRecord(), noPage
q.OnStartPage fso
Check "OnStartPage with an object that is no scripting context", ErrorRecord(), _
    "&H8000FFFF|Interface not supported|" & ProgID
q.OnEndPage
q.ShowBarcode
Check "ShowBarcode after OnEndPage", ErrorRecord(), noPage

WScript.Echo passed & " passed, " & failed & " failed"
