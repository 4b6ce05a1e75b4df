<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr">
<context>
    <name>ProxyPrompt</name>
    <message>
        <source>proxy</source>
        <translation>proxy</translation>
    </message>
    <message>
        <source>The proxy at %1 asks for a user name and password.</source>
        <translation>Le proxy %1 demande un nom d’utilisateur et un mot de passe.</translation>
    </message>
    <message>
        <source>user name:</source>
        <translation>utilisateur :</translation>
    </message>
    <message>
        <source>password:</source>
        <translation>mot de passe :</translation>
    </message>
</context>
<context>
    <name>UpdaterDialog</name>
    <message>
        <source>Dialog</source>
        <translation>Dialogue</translation>
    </message>
    <message>
        <source>AppName:</source>
        <translation>Application :</translation>
    </message>
    <message>
        <source>Application name</source>
        <translation>Nom de l’application</translation>
    </message>
    <message>
        <source>The name of the application to update</source>
        <translation>Le nom de l’application à mettre à jour</translation>
    </message>
    <message>
        <source>Version:</source>
        <translation>Version :</translation>
    </message>
    <message>
        <source>Installed version</source>
        <translation>Version installée</translation>
    </message>
    <message>
        <source>The version of the application installed now</source>
        <translation>La version de l’application installée actuellement</translation>
    </message>
    <message>
        <source>Check for updates</source>
        <translation>Rechercher des mises à jour</translation>
    </message>
    <message>
        <source>Asks the update server whether a newer version is available</source>
        <translation>Demande au serveur de mises à jour si une version plus récente est disponible</translation>
    </message>
    <message>
        <source>check</source>
        <translation>vérifier</translation>
    </message>
    <message>
        <source>Update report</source>
        <translation>Rapport de mise à jour</translation>
    </message>
    <message>
        <source>What the check, the download and the install report, one line at a time</source>
        <translation>Ce que signalent la vérification, le téléchargement et l’installation, ligne par ligne</translation>
    </message>
    <message>
        <source>Download status</source>
        <translation>État du téléchargement</translation>
    </message>
    <message>
        <source>How much of the update has arrived</source>
        <translation>Quelle part de la mise à jour est arrivée</translation>
    </message>
    <message>
        <source>TextLabel</source>
        <translation>TextLabel</translation>
    </message>
    <message>
        <source>Download progress</source>
        <translation>Progression du téléchargement</translation>
    </message>
    <message>
        <source>The share of the update downloaded so far</source>
        <translation>La part de la mise à jour téléchargée jusqu’ici</translation>
    </message>
    <message>
        <source>Download speed and time left</source>
        <translation>Vitesse du téléchargement et temps restant</translation>
    </message>
    <message>
        <source>The speed of the download and the time it still needs</source>
        <translation>La vitesse du téléchargement et le temps qu’il lui faut encore</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Annuler</translation>
    </message>
    <message>
        <source>Starts the application without updating and closes this window</source>
        <translation>Démarre l’application sans mise à jour et ferme cette fenêtre</translation>
    </message>
    <message>
        <source>cancel</source>
        <translation>annuler</translation>
    </message>
    <message>
        <source>Update with the patch</source>
        <translation>Mettre à jour avec le correctif</translation>
    </message>
    <message>
        <source>Downloads the changed files and installs them</source>
        <translation>Télécharge les fichiers modifiés et les installe</translation>
    </message>
    <message>
        <source>update-patch</source>
        <translation>correctif</translation>
    </message>
    <message>
        <source>Update with the full installer</source>
        <translation>Mettre à jour avec l’installateur complet</translation>
    </message>
    <message>
        <source>Downloads the full installer and starts it</source>
        <translation>Télécharge l’installateur complet et le lance</translation>
    </message>
    <message>
        <source>update-full</source>
        <translation>complète</translation>
    </message>
    <message>
        <source>update</source>
        <translation>mise à jour</translation>
    </message>
    <message>
        <source>download finished
start update?</source>
        <translation>téléchargement terminé
lancer la mise à jour ?</translation>
    </message>
    <message>
        <source>Downloading Updates</source>
        <translation>Téléchargement des mises à jour</translation>
    </message>
    <message>
        <source>Downloading updates</source>
        <translation>Téléchargement des mises à jour</translation>
    </message>
    <message>
        <source>of</source>
        <translation>sur</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 octets</translation>
    </message>
    <message>
        <source>%1 KB</source>
        <translation>%1 Ko</translation>
    </message>
    <message>
        <source>%1 MB</source>
        <translation>%1 Mo</translation>
    </message>
    <message>
        <source>about %1 hours</source>
        <translation>environ %1 heures</translation>
    </message>
    <message>
        <source>1 minute</source>
        <translation>1 minute</translation>
    </message>
    <message>
        <source>%1 minutes</source>
        <translation>%1 minutes</translation>
    </message>
    <message>
        <source>1 second</source>
        <translation>1 seconde</translation>
    </message>
    <message>
        <source>%1 seconds</source>
        <translation>%1 secondes</translation>
    </message>
    <message>
        <source>speed: %1 kb/s  </source>
        <translation>vitesse : %1 ko/s  </translation>
    </message>
    <message>
        <source>Time remaining</source>
        <translation>Temps restant</translation>
    </message>
    <message>
        <source>
current version: v</source>
        <translation>
version actuelle : v</translation>
    </message>
    <message>
        <source>
modify     time: </source>
        <translation>
modifiée le : </translation>
    </message>
    <message>
        <source>
modify      cnt: </source>
        <translation>
modifications : </translation>
    </message>
    <message>
        <source>
latest  version: v</source>
        <translation>
nouvelle version : v</translation>
    </message>
    <message>
        <source>
change      log: </source>
        <translation>
changements : </translation>
    </message>
    <message>
        <source>click update button to update</source>
        <translation>cliquez sur un bouton de mise à jour</translation>
    </message>
    <message>
        <source>
current software is up-to-date</source>
        <translation>
le logiciel est à jour</translation>
    </message>
    <message>
        <source>
version        : v</source>
        <translation>
version : v</translation>
    </message>
    <message>
        <source>
no need to update</source>
        <translation>
aucune mise à jour nécessaire</translation>
    </message>
    <message>
        <source>
click cancel button to quit</source>
        <translation>
cliquez sur annuler pour quitter</translation>
    </message>
    <message>
        <source>the server is busy (HTTP status %1); try again later</source>
        <translation>le serveur est occupé (statut HTTP %1) ; réessayez plus tard</translation>
    </message>
    <message>
        <source>the server is busy (HTTP status %1); try again in %2</source>
        <translation>le serveur est occupé (statut HTTP %1) ; réessayez dans %2</translation>
    </message>
</context>
</TS>
