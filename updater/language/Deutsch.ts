<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en_GB">
<context>
    <name>CLumeronUpdateStatus</name>
    <message>
        <source>Update Failed. Please make sure you are connected to a stable network and try again.</source>
        <translation>Aktualisierung fehlgeschlagen. Bitte prüfen Sie die Netzwerkverbindung und versuchen Sie es erneut.</translation>
    </message>
    <message>
        <source>Update completed!</source>
        <translation>Aktualisierung abgeschlossen!</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>HttpGet</name>
    <message>
        <source>Network error: %1,please check the network.</source>
        <translation>Netzwerkfehler: %1, bitte prüfen Sie das Netzwerk.</translation>
    </message>
    <message>
        <source>The server did not answer in time</source>
        <translation>Der Server hat nicht rechtzeitig geantwortet</translation>
    </message>
    <message>
        <source>The server&apos;s answer is too large</source>
        <translation>Die Antwort des Servers ist zu groß</translation>
    </message>
</context>
<context>
    <name>LiveUpdate</name>
    <message>
        <source>Live Update</source>
        <translation>Live-Aktualisierung</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Checking for update now, please wait...</source>
        <translation>Suche nach Aktualisierungen, bitte warten...</translation>
    </message>
    <message>
        <source>New Release!</source>
        <translation>Neue Version!</translation>
    </message>
    <message>
        <source>No updates available.</source>
        <translation>Keine Aktualisierungen verfügbar.</translation>
    </message>
    <message>
        <source>Note:</source>
        <translation>Hinweis:</translation>
    </message>
    <message>
        <source>You can always download the newest version of %1 by clicking here:</source>
        <translation>Die neueste Version von %1 können Sie jederzeit hier herunterladen:</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Herunterladen</translation>
    </message>
    <message>
        <source>The release notes are longer than shown here and were cut.</source>
        <translation>Die Versionshinweise sind länger als hier gezeigt und wurden gekürzt.</translation>
    </message>
</context>
</TS>
