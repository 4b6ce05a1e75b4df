<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="pl">
<context>
    <name>ProxyPrompt</name>
    <message>
        <source>proxy</source>
        <translation>serwer proxy</translation>
    </message>
    <message>
        <source>The proxy at %1 asks for a user name and password.</source>
        <translation>Serwer proxy %1 wymaga nazwy użytkownika i hasła.</translation>
    </message>
    <message>
        <source>user name:</source>
        <translation>użytkownik:</translation>
    </message>
    <message>
        <source>password:</source>
        <translation>hasło:</translation>
    </message>
</context>
<context>
    <name>UpdaterDialog</name>
    <message>
        <source>Dialog</source>
        <translation>Okno</translation>
    </message>
    <message>
        <source>AppName:</source>
        <translation>Aplikacja:</translation>
    </message>
    <message>
        <source>Application name</source>
        <translation>Nazwa aplikacji</translation>
    </message>
    <message>
        <source>The name of the application to update</source>
        <translation>Nazwa aktualizowanej aplikacji</translation>
    </message>
    <message>
        <source>Version:</source>
        <translation>Wersja:</translation>
    </message>
    <message>
        <source>Installed version</source>
        <translation>Zainstalowana wersja</translation>
    </message>
    <message>
        <source>The version of the application installed now</source>
        <translation>Wersja aplikacji zainstalowana teraz</translation>
    </message>
    <message>
        <source>Check for updates</source>
        <translation>Sprawdź aktualizacje</translation>
    </message>
    <message>
        <source>Asks the update server whether a newer version is available</source>
        <translation>Pyta serwer aktualizacji, czy jest nowsza wersja</translation>
    </message>
    <message>
        <source>check</source>
        <translation>sprawdź</translation>
    </message>
    <message>
        <source>Update report</source>
        <translation>Raport aktualizacji</translation>
    </message>
    <message>
        <source>What the check, the download and the install report, one line at a time</source>
        <translation>Co zgłaszają sprawdzenie, pobieranie i instalacja, wiersz po wierszu</translation>
    </message>
    <message>
        <source>Download status</source>
        <translation>Stan pobierania</translation>
    </message>
    <message>
        <source>How much of the update has arrived</source>
        <translation>Ile aktualizacji już dotarło</translation>
    </message>
    <message>
        <source>TextLabel</source>
        <translation>TextLabel</translation>
    </message>
    <message>
        <source>Download progress</source>
        <translation>Postęp pobierania</translation>
    </message>
    <message>
        <source>The share of the update downloaded so far</source>
        <translation>Pobrana dotąd część aktualizacji</translation>
    </message>
    <message>
        <source>Download speed and time left</source>
        <translation>Szybkość pobierania i pozostały czas</translation>
    </message>
    <message>
        <source>The speed of the download and the time it still needs</source>
        <translation>Szybkość pobierania i czas, którego jeszcze potrzebuje</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Anuluj</translation>
    </message>
    <message>
        <source>Starts the application without updating and closes this window</source>
        <translation>Uruchamia aplikację bez aktualizacji i zamyka to okno</translation>
    </message>
    <message>
        <source>cancel</source>
        <translation>anuluj</translation>
    </message>
    <message>
        <source>Update with the patch</source>
        <translation>Aktualizuj łatką</translation>
    </message>
    <message>
        <source>Downloads the changed files and installs them</source>
        <translation>Pobiera zmienione pliki i je instaluje</translation>
    </message>
    <message>
        <source>update-patch</source>
        <translation>łatka</translation>
    </message>
    <message>
        <source>Update with the full installer</source>
        <translation>Aktualizuj pełnym instalatorem</translation>
    </message>
    <message>
        <source>Downloads the full installer and starts it</source>
        <translation>Pobiera pełny instalator i go uruchamia</translation>
    </message>
    <message>
        <source>update-full</source>
        <translation>pełna</translation>
    </message>
    <message>
        <source>update</source>
        <translation>aktualizacja</translation>
    </message>
    <message>
        <source>download finished
start update?</source>
        <translation>pobieranie zakończone
rozpocząć aktualizację?</translation>
    </message>
    <message>
        <source>Downloading Updates</source>
        <translation>Pobieranie aktualizacji</translation>
    </message>
    <message>
        <source>Downloading updates</source>
        <translation>Pobieranie aktualizacji</translation>
    </message>
    <message>
        <source>of</source>
        <translation>z</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 bajtów</translation>
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
        <translation>około %1 godz.</translation>
    </message>
    <message>
        <source>1 minute</source>
        <translation>1 minuta</translation>
    </message>
    <message>
        <source>%1 minutes</source>
        <translation>%1 min</translation>
    </message>
    <message>
        <source>1 second</source>
        <translation>1 sekunda</translation>
    </message>
    <message>
        <source>%1 seconds</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>speed: %1 kb/s  </source>
        <translation>szybkość: %1 kb/s  </translation>
    </message>
    <message>
        <source>Time remaining</source>
        <translation>Pozostało</translation>
    </message>
    <message>
        <source>
current version: v</source>
        <translation>
obecna wersja: v</translation>
    </message>
    <message>
        <source>
modify     time: </source>
        <translation>
data zmiany: </translation>
    </message>
    <message>
        <source>
modify      cnt: </source>
        <translation>
liczba zmian: </translation>
    </message>
    <message>
        <source>
latest  version: v</source>
        <translation>
nowa wersja: v</translation>
    </message>
    <message>
        <source>
change      log: </source>
        <translation>
zmiany: </translation>
    </message>
    <message>
        <source>click update button to update</source>
        <translation>kliknij przycisk aktualizacji</translation>
    </message>
    <message>
        <source>
current software is up-to-date</source>
        <translation>
oprogramowanie jest aktualne</translation>
    </message>
    <message>
        <source>
version        : v</source>
        <translation>
wersja: v</translation>
    </message>
    <message>
        <source>
no need to update</source>
        <translation>
aktualizacja niepotrzebna</translation>
    </message>
    <message>
        <source>
click cancel button to quit</source>
        <translation>
kliknij „anuluj”, aby wyjść</translation>
    </message>
    <message>
        <source>the server is busy (HTTP status %1); try again later</source>
        <translation>serwer jest zajęty (status HTTP %1); spróbuj ponownie później</translation>
    </message>
    <message>
        <source>the server is busy (HTTP status %1); try again in %2</source>
        <translation>serwer jest zajęty (status HTTP %1); spróbuj ponownie za %2</translation>
    </message>
</context>
</TS>
