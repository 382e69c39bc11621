# The Local Port monitor's test port of the printing cases: Wine lists the values of this key as
# ports of the "Local Port" monitor.
"$WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Ports' /v 'CORVLTEST:' /d '' /f >/dev/null
