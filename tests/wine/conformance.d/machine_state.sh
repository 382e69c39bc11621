# The registry key and the installed printer that the registry and spooler cases read (their
# names and values are in tests/conformance/conformance.h, namespace machine). Wine's spooler
# lists the printers of its registry key; the printer has no driver installed, so it is listed
# but does not open.
key='HKLM\SOFTWARE\Corvel\Conformance'
"$WINE" reg add "$key" /v IPAddress /t REG_SZ /d 192.168.1.10 /f >/dev/null
"$WINE" reg add "$key" /v LongText /t REG_SZ /d "$(printf 'A%.0s' $(seq 200))" /f >/dev/null
"$WINE" reg add "$key" /v PortNumber /t REG_DWORD /d 9100 /f >/dev/null
printer='HKLM\System\CurrentControlSet\Control\Print\Printers\Conformance Printer'
"$WINE" reg add "$printer" /v Name /d 'Conformance Printer' /f >/dev/null
"$WINE" reg add "$printer" /v Port /d 'FILE:' /f >/dev/null
"$WINE" reg add "$printer" /v 'Printer Driver' /d 'Conformance Driver' /f >/dev/null
"$WINE" reg add "$printer" /v Description /d 'made by the conformance suite' /f >/dev/null
