<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>ProxyPrompt</name>
    <message>
        <source>proxy</source>
        <translation>Proxy</translation>
    </message>
    <message>
        <source>The proxy at %1 asks for a user name and password.</source>
        <translation>Der Proxy %1 verlangt einen Benutzernamen und ein Passwort.</translation>
    </message>
    <message>
        <source>user name:</source>
        <translation>Benutzername:</translation>
    </message>
    <message>
        <source>password:</source>
        <translation>Passwort:</translation>
    </message>
</context>
<context>
    <name>UpdaterDialog</name>
    <message>
        <source>Dialog</source>
        <translation>Dialog</translation>
    </message>
    <message>
        <source>AppName:</source>
        <translation>Anwendung:</translation>
    </message>
    <message>
        <source>Application name</source>
        <translation>Name der Anwendung</translation>
    </message>
    <message>
        <source>The name of the application to update</source>
        <translation>Der Name der Anwendung, die aktualisiert wird</translation>
    </message>
    <message>
        <source>Version:</source>
        <translation>Version:</translation>
    </message>
    <message>
        <source>Installed version</source>
        <translation>Installierte Version</translation>
    </message>
    <message>
        <source>The version of the application installed now</source>
        <translation>Die Version der Anwendung, die jetzt installiert ist</translation>
    </message>
    <message>
        <source>Check for updates</source>
        <translation>Nach Aktualisierungen suchen</translation>
    </message>
    <message>
        <source>Asks the update server whether a newer version is available</source>
        <translation>Fragt den Update-Server, ob eine neuere Version verfügbar ist</translation>
    </message>
    <message>
        <source>check</source>
        <translation>prüfen</translation>
    </message>
    <message>
        <source>Update report</source>
        <translation>Aktualisierungsbericht</translation>
    </message>
    <message>
        <source>What the check, the download and the install report, one line at a time</source>
        <translation>Was Prüfung, Download und Installation melden, Zeile für Zeile</translation>
    </message>
    <message>
        <source>Download status</source>
        <translation>Download-Status</translation>
    </message>
    <message>
        <source>How much of the update has arrived</source>
        <translation>Wie viel der Aktualisierung angekommen ist</translation>
    </message>
    <message>
        <source>TextLabel</source>
        <translation>TextLabel</translation>
    </message>
    <message>
        <source>Download progress</source>
        <translation>Download-Fortschritt</translation>
    </message>
    <message>
        <source>The share of the update downloaded so far</source>
        <translation>Der bisher heruntergeladene Anteil der Aktualisierung</translation>
    </message>
    <message>
        <source>Download speed and time left</source>
        <translation>Download-Geschwindigkeit und Restzeit</translation>
    </message>
    <message>
        <source>The speed of the download and the time it still needs</source>
        <translation>Die Geschwindigkeit des Downloads und die Zeit, die er noch braucht</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Starts the application without updating and closes this window</source>
        <translation>Startet die Anwendung ohne Aktualisierung und schließt dieses Fenster</translation>
    </message>
    <message>
        <source>cancel</source>
        <translation>abbrechen</translation>
    </message>
    <message>
        <source>Update with the patch</source>
        <translation>Mit dem Patch aktualisieren</translation>
    </message>
    <message>
        <source>Downloads the changed files and installs them</source>
        <translation>Lädt die geänderten Dateien herunter und installiert sie</translation>
    </message>
    <message>
        <source>update-patch</source>
        <translation>Patch-Update</translation>
    </message>
    <message>
        <source>Update with the full installer</source>
        <translation>Mit dem vollständigen Installationsprogramm aktualisieren</translation>
    </message>
    <message>
        <source>Downloads the full installer and starts it</source>
        <translation>Lädt das vollständige Installationsprogramm herunter und startet es</translation>
    </message>
    <message>
        <source>update-full</source>
        <translation>Voll-Update</translation>
    </message>
    <message>
        <source>update</source>
        <translation>Aktualisierung</translation>
    </message>
    <message>
        <source>download finished
start update?</source>
        <translation>Download abgeschlossen
Aktualisierung starten?</translation>
    </message>
    <message>
        <source>Downloading Updates</source>
        <translation>Aktualisierungen werden heruntergeladen</translation>
    </message>
    <message>
        <source>Downloading updates</source>
        <translation>Aktualisierungen werden heruntergeladen</translation>
    </message>
    <message>
        <source>of</source>
        <translation>von</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 Bytes</translation>
    </message>
    <message>
        <source>%1 KB</source>
        <translation>%1 KB</translation>
    </message>
    <message>
        <source>%1 MB</source>
        <translation>%1 MB</translation>
    </message>
    <message>
        <source>about %1 hours</source>
        <translation>etwa %1 Stunden</translation>
    </message>
    <message>
        <source>1 minute</source>
        <translation>1 Minute</translation>
    </message>
    <message>
        <source>%1 minutes</source>
        <translation>%1 Minuten</translation>
    </message>
    <message>
        <source>1 second</source>
        <translation>1 Sekunde</translation>
    </message>
    <message>
        <source>%1 seconds</source>
        <translation>%1 Sekunden</translation>
    </message>
    <message>
        <source>speed: %1 kb/s  </source>
        <translation>Geschwindigkeit: %1 kb/s  </translation>
    </message>
    <message>
        <source>Time remaining</source>
        <translation>Restzeit</translation>
    </message>
    <message>
        <source>
current version: v</source>
        <translation>
installierte Version: v</translation>
    </message>
    <message>
        <source>
modify     time: </source>
        <translation>
Änderungszeit: </translation>
    </message>
    <message>
        <source>
modify      cnt: </source>
        <translation>
Änderungszähler: </translation>
    </message>
    <message>
        <source>
latest  version: v</source>
        <translation>
neueste Version: v</translation>
    </message>
    <message>
        <source>
change      log: </source>
        <translation>
Änderungen: </translation>
    </message>
    <message>
        <source>click update button to update</source>
        <translation>Zum Aktualisieren eine Update-Schaltfläche klicken</translation>
    </message>
    <message>
        <source>
current software is up-to-date</source>
        <translation>
Die Software ist auf dem neuesten Stand</translation>
    </message>
    <message>
        <source>
version        : v</source>
        <translation>
Version: v</translation>
    </message>
    <message>
        <source>
no need to update</source>
        <translation>
Keine Aktualisierung nötig</translation>
    </message>
    <message>
        <source>
click cancel button to quit</source>
        <translation>
Zum Beenden auf „abbrechen“ klicken</translation>
    </message>
    <message>
        <source>the server is busy (HTTP status %1); try again later</source>
        <translation>der Server ist ausgelastet (HTTP-Status %1); später erneut versuchen</translation>
    </message>
    <message>
        <source>the server is busy (HTTP status %1); try again in %2</source>
        <translation>der Server ist ausgelastet (HTTP-Status %1); in %2 erneut versuchen</translation>
    </message>
</context>
</TS>
