<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="it">
<context>
    <name>ProxyPrompt</name>
    <message>
        <source>proxy</source>
        <translation>proxy</translation>
    </message>
    <message>
        <source>The proxy at %1 asks for a user name and password.</source>
        <translation>Il proxy %1 richiede un nome utente e una password.</translation>
    </message>
    <message>
        <source>user name:</source>
        <translation>nome utente:</translation>
    </message>
    <message>
        <source>password:</source>
        <translation>password:</translation>
    </message>
</context>
<context>
    <name>UpdaterDialog</name>
    <message>
        <source>Dialog</source>
        <translation>Finestra</translation>
    </message>
    <message>
        <source>AppName:</source>
        <translation>Applicazione:</translation>
    </message>
    <message>
        <source>Application name</source>
        <translation>Nome dell’applicazione</translation>
    </message>
    <message>
        <source>The name of the application to update</source>
        <translation>Il nome dell’applicazione da aggiornare</translation>
    </message>
    <message>
        <source>Version:</source>
        <translation>Versione:</translation>
    </message>
    <message>
        <source>Installed version</source>
        <translation>Versione installata</translation>
    </message>
    <message>
        <source>The version of the application installed now</source>
        <translation>La versione dell’applicazione installata ora</translation>
    </message>
    <message>
        <source>Check for updates</source>
        <translation>Cerca aggiornamenti</translation>
    </message>
    <message>
        <source>Asks the update server whether a newer version is available</source>
        <translation>Chiede al server degli aggiornamenti se è disponibile una versione più recente</translation>
    </message>
    <message>
        <source>check</source>
        <translation>verifica</translation>
    </message>
    <message>
        <source>Update report</source>
        <translation>Rapporto di aggiornamento</translation>
    </message>
    <message>
        <source>What the check, the download and the install report, one line at a time</source>
        <translation>Ciò che riportano la verifica, il download e l’installazione, una riga alla volta</translation>
    </message>
    <message>
        <source>Download status</source>
        <translation>Stato del download</translation>
    </message>
    <message>
        <source>How much of the update has arrived</source>
        <translation>Quanta parte dell’aggiornamento è arrivata</translation>
    </message>
    <message>
        <source>TextLabel</source>
        <translation>TextLabel</translation>
    </message>
    <message>
        <source>Download progress</source>
        <translation>Avanzamento del download</translation>
    </message>
    <message>
        <source>The share of the update downloaded so far</source>
        <translation>La parte dell’aggiornamento scaricata finora</translation>
    </message>
    <message>
        <source>Download speed and time left</source>
        <translation>Velocità del download e tempo rimanente</translation>
    </message>
    <message>
        <source>The speed of the download and the time it still needs</source>
        <translation>La velocità del download e il tempo che gli serve ancora</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Annulla</translation>
    </message>
    <message>
        <source>Starts the application without updating and closes this window</source>
        <translation>Avvia l’applicazione senza aggiornare e chiude questa finestra</translation>
    </message>
    <message>
        <source>cancel</source>
        <translation>annulla</translation>
    </message>
    <message>
        <source>Update with the patch</source>
        <translation>Aggiorna con la patch</translation>
    </message>
    <message>
        <source>Downloads the changed files and installs them</source>
        <translation>Scarica i file modificati e li installa</translation>
    </message>
    <message>
        <source>update-patch</source>
        <translation>patch</translation>
    </message>
    <message>
        <source>Update with the full installer</source>
        <translation>Aggiorna con l’installer completo</translation>
    </message>
    <message>
        <source>Downloads the full installer and starts it</source>
        <translation>Scarica l’installer completo e lo avvia</translation>
    </message>
    <message>
        <source>update-full</source>
        <translation>completo</translation>
    </message>
    <message>
        <source>update</source>
        <translation>aggiornamento</translation>
    </message>
    <message>
        <source>download finished
start update?</source>
        <translation>download completato
avviare l’aggiornamento?</translation>
    </message>
    <message>
        <source>Downloading Updates</source>
        <translation>Download degli aggiornamenti</translation>
    </message>
    <message>
        <source>Downloading updates</source>
        <translation>Download degli aggiornamenti</translation>
    </message>
    <message>
        <source>of</source>
        <translation>di</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 byte</translation>
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
        <translation>circa %1 ore</translation>
    </message>
    <message>
        <source>1 minute</source>
        <translation>1 minuto</translation>
    </message>
    <message>
        <source>%1 minutes</source>
        <translation>%1 minuti</translation>
    </message>
    <message>
        <source>1 second</source>
        <translation>1 secondo</translation>
    </message>
    <message>
        <source>%1 seconds</source>
        <translation>%1 secondi</translation>
    </message>
    <message>
        <source>speed: %1 kb/s  </source>
        <translation>velocità: %1 kb/s  </translation>
    </message>
    <message>
        <source>Time remaining</source>
        <translation>Tempo rimanente</translation>
    </message>
    <message>
        <source>
current version: v</source>
        <translation>
versione attuale: v</translation>
    </message>
    <message>
        <source>
modify     time: </source>
        <translation>
data modifica: </translation>
    </message>
    <message>
        <source>
modify      cnt: </source>
        <translation>
num. modifiche: </translation>
    </message>
    <message>
        <source>
latest  version: v</source>
        <translation>
ultima versione: v</translation>
    </message>
    <message>
        <source>
change      log: </source>
        <translation>
novità: </translation>
    </message>
    <message>
        <source>click update button to update</source>
        <translation>fai clic su un pulsante di aggiornamento</translation>
    </message>
    <message>
        <source>
current software is up-to-date</source>
        <translation>
il software è aggiornato</translation>
    </message>
    <message>
        <source>
version        : v</source>
        <translation>
versione: v</translation>
    </message>
    <message>
        <source>
no need to update</source>
        <translation>
nessun aggiornamento necessario</translation>
    </message>
    <message>
        <source>
click cancel button to quit</source>
        <translation>
fai clic su annulla per uscire</translation>
    </message>
    <message>
        <source>the server is busy (HTTP status %1); try again later</source>
        <translation>il server è occupato (stato HTTP %1); riprovare più tardi</translation>
    </message>
    <message>
        <source>the server is busy (HTTP status %1); try again in %2</source>
        <translation>il server è occupato (stato HTTP %1); riprovare tra %2</translation>
    </message>
</context>
</TS>
