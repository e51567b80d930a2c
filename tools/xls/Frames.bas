Attribute VB_Name = "Frames"
' Finds the frames among the lines of a character movie (MovieLines).

' First line, row count and interval (ms) of each frame found by FindFrames.
Public FrameStart() As Long
Public FrameHeight() As Long
Public FrameInterval() As Long

' Splits the first `lineCount` lines into frames: a frame ends at a marker
' line, which is followed by the frame's info line. Returns the number of
' frames found.
Public Function FindFrames(ByVal lineCount As Long) As Long
    Dim count As Long, firstRow As Long, i As Long, interval As Long
    ReDim FrameStart(0 To 15)
    ReDim FrameHeight(0 To 15)
    ReDim FrameInterval(0 To 15)
    firstRow = 0
    i = 0
    Do While i < lineCount - 1
        If IsMarker(MovieLines(i)) And InfoInterval(MovieLines(i + 1), interval) Then
            If count > UBound(FrameStart) Then
                ReDim Preserve FrameStart(0 To 2 * count - 1)
                ReDim Preserve FrameHeight(0 To 2 * count - 1)
                ReDim Preserve FrameInterval(0 To 2 * count - 1)
            End If
            FrameStart(count) = firstRow
            FrameHeight(count) = i - firstRow
            FrameInterval(count) = interval
            count = count + 1
            firstRow = i + 2
            i = i + 2
        Else
            i = i + 1
        End If
    Loop
    FindFrames = count
End Function

' The marker line: the bytes 80 80, which read as one or two characters
' outside ASCII (the euro sign in code page 936).
Private Function IsMarker(ByVal rowText As String) As Boolean
    Dim k As Long
    If Len(rowText) < 1 Or Len(rowText) > 2 Then Exit Function
    For k = 1 To Len(rowText)
        If AscW(Mid(rowText, k, 1)) >= 0 And AscW(Mid(rowText, k, 1)) < 128 Then Exit Function
    Next k
    IsMarker = True
End Function

' True for an info line "W" digits "V" digits "F" digits; sets the interval
' (the digits after V, in ms).
Private Function InfoInterval(ByVal rowText As String, interval As Long) As Boolean
    Dim v As Long, f As Long
    If Left(rowText, 1) <> "W" Then Exit Function
    v = InStr(rowText, "V")
    f = InStr(rowText, "F")
    If v < 3 Or f < v + 2 Or f = Len(rowText) Then Exit Function
    If Not AllDigits(Mid(rowText, 2, v - 2)) Or Not AllDigits(Mid(rowText, v + 1, f - v - 1)) _
        Or Not AllDigits(Mid(rowText, f + 1)) Then Exit Function
    interval = CLng(Mid(rowText, v + 1, f - v - 1))
    InfoInterval = True
End Function

Private Function AllDigits(ByVal digits As String) As Boolean
    Dim k As Long
    If Len(digits) = 0 Or Len(digits) > 9 Then Exit Function
    For k = 1 To Len(digits)
        If Mid(digits, k, 1) < "0" Or Mid(digits, k, 1) > "9" Then Exit Function
    Next k
    AllDigits = True
End Function
