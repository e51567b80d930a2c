Attribute VB_Name = "MovieFile"
' Reads "data.xxx", the character movie: GBK text, frames back to back,
' each being its rows, the marker line (the bytes 80 80) and the info line
' "W###V####F#####" (width, interval in ms, frame number), all lines ending
' in CR LF.
' Excel and LibreOffice Calc both run this module. Names only LibreOffice
' knows are used without parentheses and without Option Explicit: Excel
' compiles them as empty variables and takes its own path.

Public Const DataFileName As String = "data.xxx"

' The lines read by ReadMovieLines.
Public MovieLines() As String

' Reads the lines of data.xxx in `folder`, decoded from GBK, without line
' ends, into MovieLines. Returns their number; 0 when the file is missing or
' unreadable.
Public Function ReadMovieLines(ByVal folder As String) As Long
    Dim serviceManager As Object
    Dim count As Long
    Dim content As String, parts() As String, i As Long

    On Error GoTo Failed
    If IsObject(GetProcessServiceManager) Then
        ' LibreOffice: the GBK converter keeps every character of the code
        ' page (gb2312 would lose those whose second byte is 80).
        Dim files As Object, reader As Object, converter As Object, url As String
        Set serviceManager = GetProcessServiceManager
        Set files = serviceManager.createInstance("com.sun.star.ucb.SimpleFileAccess")
        Set converter = serviceManager.createInstance("com.sun.star.ucb.FileContentProvider")
        url = converter.getFileURLFromSystemPath("", folder & Application.PathSeparator & DataFileName)
        If Not files.exists(url) Then GoTo Failed
        Set reader = serviceManager.createInstance("com.sun.star.io.TextInputStream")
        reader.setInputStream files.openFileRead(url)
        reader.setEncoding "GBK"
        ReDim MovieLines(0 To 1023)
        Do While Not reader.isEOF()
            ' A block If: LibreOffice runs a ReDim in a one-line If whatever
            ' the condition.
            If count > UBound(MovieLines) Then
                ReDim Preserve MovieLines(0 To 2 * count - 1)
            End If
            MovieLines(count) = reader.readLine()
            count = count + 1
        Loop
        reader.closeInput
    Else
        ' Excel: code page 936, which Windows maps the charset gb2312 to.
        Dim stream As Object
        Set stream = CreateObject("ADODB.Stream")
        stream.Type = 2
        stream.Charset = "gb2312"
        stream.Open
        stream.LoadFromFile folder & Application.PathSeparator & DataFileName
        content = stream.ReadText(-1)
        stream.Close
        parts = Split(content, vbCrLf)
        count = UBound(parts) - LBound(parts) + 1
        If count > 0 Then
            If parts(UBound(parts)) = "" Then count = count - 1
        End If
        If count > 0 Then
            ReDim MovieLines(0 To count - 1)
            For i = 0 To count - 1
                MovieLines(i) = parts(LBound(parts) + i)
            Next i
        End If
    End If
    ReadMovieLines = count
    Exit Function
Failed:
    ReadMovieLines = 0
End Function
