<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es">
<context>
    <name>ProxyPrompt</name>
    <message>
        <source>proxy</source>
        <translation>proxy</translation>
    </message>
    <message>
        <source>The proxy at %1 asks for a user name and password.</source>
        <translation>El proxy %1 solicita un nombre de usuario y una contraseña.</translation>
    </message>
    <message>
        <source>user name:</source>
        <translation>usuario:</translation>
    </message>
    <message>
        <source>password:</source>
        <translation>contraseña:</translation>
    </message>
</context>
<context>
    <name>UpdaterDialog</name>
    <message>
        <source>Dialog</source>
        <translation>Diálogo</translation>
    </message>
    <message>
        <source>AppName:</source>
        <translation>Aplicación:</translation>
    </message>
    <message>
        <source>Application name</source>
        <translation>Nombre de la aplicación</translation>
    </message>
    <message>
        <source>The name of the application to update</source>
        <translation>El nombre de la aplicación que se actualiza</translation>
    </message>
    <message>
        <source>Version:</source>
        <translation>Versión:</translation>
    </message>
    <message>
        <source>Installed version</source>
        <translation>Versión instalada</translation>
    </message>
    <message>
        <source>The version of the application installed now</source>
        <translation>La versión de la aplicación instalada ahora</translation>
    </message>
    <message>
        <source>Check for updates</source>
        <translation>Buscar actualizaciones</translation>
    </message>
    <message>
        <source>Asks the update server whether a newer version is available</source>
        <translation>Pregunta al servidor de actualizaciones si hay una versión más reciente</translation>
    </message>
    <message>
        <source>check</source>
        <translation>comprobar</translation>
    </message>
    <message>
        <source>Update report</source>
        <translation>Informe de actualización</translation>
    </message>
    <message>
        <source>What the check, the download and the install report, one line at a time</source>
        <translation>Lo que informan la comprobación, la descarga y la instalación, línea a línea</translation>
    </message>
    <message>
        <source>Download status</source>
        <translation>Estado de la descarga</translation>
    </message>
    <message>
        <source>How much of the update has arrived</source>
        <translation>Cuánto de la actualización ha llegado</translation>
    </message>
    <message>
        <source>TextLabel</source>
        <translation>TextLabel</translation>
    </message>
    <message>
        <source>Download progress</source>
        <translation>Progreso de la descarga</translation>
    </message>
    <message>
        <source>The share of the update downloaded so far</source>
        <translation>La parte de la actualización descargada hasta ahora</translation>
    </message>
    <message>
        <source>Download speed and time left</source>
        <translation>Velocidad de descarga y tiempo restante</translation>
    </message>
    <message>
        <source>The speed of the download and the time it still needs</source>
        <translation>La velocidad de la descarga y el tiempo que aún necesita</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <source>Starts the application without updating and closes this window</source>
        <translation>Inicia la aplicación sin actualizar y cierra esta ventana</translation>
    </message>
    <message>
        <source>cancel</source>
        <translation>cancelar</translation>
    </message>
    <message>
        <source>Update with the patch</source>
        <translation>Actualizar con el parche</translation>
    </message>
    <message>
        <source>Downloads the changed files and installs them</source>
        <translation>Descarga los archivos modificados y los instala</translation>
    </message>
    <message>
        <source>update-patch</source>
        <translation>parche</translation>
    </message>
    <message>
        <source>Update with the full installer</source>
        <translation>Actualizar con el instalador completo</translation>
    </message>
    <message>
        <source>Downloads the full installer and starts it</source>
        <translation>Descarga el instalador completo y lo inicia</translation>
    </message>
    <message>
        <source>update-full</source>
        <translation>completa</translation>
    </message>
    <message>
        <source>update</source>
        <translation>actualización</translation>
    </message>
    <message>
        <source>download finished
start update?</source>
        <translation>descarga terminada
¿iniciar la actualización?</translation>
    </message>
    <message>
        <source>Downloading Updates</source>
        <translation>Descargando actualizaciones</translation>
    </message>
    <message>
        <source>Downloading updates</source>
        <translation>Descargando actualizaciones</translation>
    </message>
    <message>
        <source>of</source>
        <translation>de</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 bytes</translation>
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
        <translation>unas %1 horas</translation>
    </message>
    <message>
        <source>1 minute</source>
        <translation>1 minuto</translation>
    </message>
    <message>
        <source>%1 minutes</source>
        <translation>%1 minutos</translation>
    </message>
    <message>
        <source>1 second</source>
        <translation>1 segundo</translation>
    </message>
    <message>
        <source>%1 seconds</source>
        <translation>%1 segundos</translation>
    </message>
    <message>
        <source>speed: %1 kb/s  </source>
        <translation>velocidad: %1 kb/s  </translation>
    </message>
    <message>
        <source>Time remaining</source>
        <translation>Tiempo restante</translation>
    </message>
    <message>
        <source>
current version: v</source>
        <translation>
versión actual: v</translation>
    </message>
    <message>
        <source>
modify     time: </source>
        <translation>
fecha de cambio: </translation>
    </message>
    <message>
        <source>
modify      cnt: </source>
        <translation>
núm. de cambios: </translation>
    </message>
    <message>
        <source>
latest  version: v</source>
        <translation>
versión nueva: v</translation>
    </message>
    <message>
        <source>
change      log: </source>
        <translation>
cambios: </translation>
    </message>
    <message>
        <source>click update button to update</source>
        <translation>pulse un botón de actualizar</translation>
    </message>
    <message>
        <source>
current software is up-to-date</source>
        <translation>
el software está actualizado</translation>
    </message>
    <message>
        <source>
version        : v</source>
        <translation>
versión: v</translation>
    </message>
    <message>
        <source>
no need to update</source>
        <translation>
no hace falta actualizar</translation>
    </message>
    <message>
        <source>
click cancel button to quit</source>
        <translation>
pulse cancelar para salir</translation>
    </message>
    <message>
        <source>the server is busy (HTTP status %1); try again later</source>
        <translation>el servidor está ocupado (estado HTTP %1); inténtelo de nuevo más tarde</translation>
    </message>
    <message>
        <source>the server is busy (HTTP status %1); try again in %2</source>
        <translation>el servidor está ocupado (estado HTTP %1); inténtelo de nuevo en %2</translation>
    </message>
</context>
</TS>
