Attribute VB_Name = "Player"
' Plays the character movie "data.xxx" that lies in this workbook's folder:
' each frame's rows are shown in column A of the first sheet, one frame after
' another, at the interval stored in the frame's info line.
'
' The macros run in Excel and in LibreOffice Calc (see MovieFile and Clock).
' Their source is plain ASCII so it reads the same in every code page;
' Chinese texts are built from their code points.

' Reads the movie, then shows frame after frame; says so in the sheet when
' there is nothing to play.
Public Sub PlayMovie()
    Dim sheet As Object
    Dim frameCount As Long, f As Long, shownRows As Long
    Dim due As Double

    On Error GoTo Finished
    Set sheet = ThisWorkbook.Worksheets(1)
    frameCount = FindFrames(ReadMovieLines(ThisWorkbook.Path))
    If frameCount = 0 Then
        ShowMessage sheet
        Exit Sub
    End If

    due = NowMs()
    For f = 0 To frameCount - 1
        ShowRows sheet, FrameStart(f), FrameHeight(f), shownRows
        shownRows = FrameHeight(f)
        If f < frameCount - 1 Then
            due = due + FrameInterval(f)
            PauseUntil due
        End If
    Next f
Finished:
End Sub

' Shows `height` rows from MovieLines(firstLine) in column A from row 1 as
' text: the leading apostrophe keeps rows that look like numbers or formulas
' or begin with blanks verbatim, and is not part of the cell's text. Rows of
' a taller earlier frame are cleared.
Private Sub ShowRows(sheet As Object, ByVal firstLine As Long, ByVal height As Long, ByVal shownRows As Long)
    Dim block() As Variant, r As Long
    If height > 0 Then
        ReDim block(1 To height, 1 To 1)
        For r = 1 To height
            block(r, 1) = "'" & MovieLines(firstLine + r - 1)
        Next r
        sheet.Range(sheet.Cells(1, 1), sheet.Cells(height, 1)).Value = block
    End If
    If shownRows > height Then
        sheet.Range(sheet.Cells(height + 1, 1), sheet.Cells(shownRows, 1)).ClearContents
    End If
End Sub

' What the sheet says when there is no movie to play.
Private Sub ShowMessage(sheet As Object)
    sheet.Columns(1).ClearContents
    ' "Cannot find data.xxx in this workbook's folder, or it holds no frame."
    sheet.Cells(1, 1).Value = "'" & Chinese("672A 627E 5230") & " " & DataFileName & _
        Chinese("FF0C 6216 5176 4E2D 6CA1 6709 5B57 7B26 5E27 3002") & _
        " " & DataFileName & " is missing from this workbook's folder or holds no frame."
End Sub

' The text of space-separated hexadecimal code points.
Private Function Chinese(ByVal codes As String) As String
    Dim parts() As String, k As Long
    parts = Split(codes, " ")
    For k = LBound(parts) To UBound(parts)
        Chinese = Chinese & ChrW(CLng("&H" & parts(k)))
    Next k
End Function
