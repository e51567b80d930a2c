Attribute VB_Name = "Clock"
' A millisecond clock and a wait that keeps the program responsive.
' Excel and LibreOffice Calc both run this module. Names only LibreOffice
' knows are used without parentheses and without Option Explicit: Excel
' compiles them as empty variables and takes its own path.

' A clock in milliseconds. LibreOffice's Timer counts whole seconds, so its
' GetSystemTicks is used there; Excel's Timer has fractions of a second.
Public Function NowMs() As Double
    Dim ticks As Variant
    ticks = GetSystemTicks
    If IsEmpty(ticks) Then
        NowMs = CDbl(Timer) * 1000#
    Else
        NowMs = CDbl(ticks)
    End If
End Function

' Lets the program repaint and handle input until the clock reaches `due`
' (ms). Timer starts again at midnight; a clock that runs backwards ends the
' wait rather than stalling the movie.
Public Sub PauseUntil(ByVal due As Double)
    Dim started As Double, current As Double
    started = NowMs()
    current = started
    Do While current < due
        DoEvents
        current = NowMs()
        If current < started Then Exit Do
    Loop
End Sub
