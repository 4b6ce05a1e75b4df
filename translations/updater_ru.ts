<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru">
<context>
    <name>ProxyPrompt</name>
    <message>
        <source>proxy</source>
        <translation>прокси</translation>
    </message>
    <message>
        <source>The proxy at %1 asks for a user name and password.</source>
        <translation>Прокси-сервер %1 запрашивает имя пользователя и пароль.</translation>
    </message>
    <message>
        <source>user name:</source>
        <translation>пользователь:</translation>
    </message>
    <message>
        <source>password:</source>
        <translation>пароль:</translation>
    </message>
</context>
<context>
    <name>UpdaterDialog</name>
    <message>
        <source>Dialog</source>
        <translation>Диалог</translation>
    </message>
    <message>
        <source>AppName:</source>
        <translation>Приложение:</translation>
    </message>
    <message>
        <source>Application name</source>
        <translation>Название приложения</translation>
    </message>
    <message>
        <source>The name of the application to update</source>
        <translation>Название обновляемого приложения</translation>
    </message>
    <message>
        <source>Version:</source>
        <translation>Версия:</translation>
    </message>
    <message>
        <source>Installed version</source>
        <translation>Установленная версия</translation>
    </message>
    <message>
        <source>The version of the application installed now</source>
        <translation>Версия приложения, установленная сейчас</translation>
    </message>
    <message>
        <source>Check for updates</source>
        <translation>Проверить обновления</translation>
    </message>
    <message>
        <source>Asks the update server whether a newer version is available</source>
        <translation>Спрашивает сервер обновлений, есть ли более новая версия</translation>
    </message>
    <message>
        <source>check</source>
        <translation>проверить</translation>
    </message>
    <message>
        <source>Update report</source>
        <translation>Отчёт об обновлении</translation>
    </message>
    <message>
        <source>What the check, the download and the install report, one line at a time</source>
        <translation>Что сообщают проверка, загрузка и установка, строка за строкой</translation>
    </message>
    <message>
        <source>Download status</source>
        <translation>Состояние загрузки</translation>
    </message>
    <message>
        <source>How much of the update has arrived</source>
        <translation>Сколько обновления уже получено</translation>
    </message>
    <message>
        <source>TextLabel</source>
        <translation>TextLabel</translation>
    </message>
    <message>
        <source>Download progress</source>
        <translation>Ход загрузки</translation>
    </message>
    <message>
        <source>The share of the update downloaded so far</source>
        <translation>Доля обновления, загруженная к этому моменту</translation>
    </message>
    <message>
        <source>Download speed and time left</source>
        <translation>Скорость загрузки и оставшееся время</translation>
    </message>
    <message>
        <source>The speed of the download and the time it still needs</source>
        <translation>Скорость загрузки и время, которое ей ещё нужно</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Starts the application without updating and closes this window</source>
        <translation>Запускает приложение без обновления и закрывает это окно</translation>
    </message>
    <message>
        <source>cancel</source>
        <translation>отмена</translation>
    </message>
    <message>
        <source>Update with the patch</source>
        <translation>Обновить патчем</translation>
    </message>
    <message>
        <source>Downloads the changed files and installs them</source>
        <translation>Загружает изменённые файлы и устанавливает их</translation>
    </message>
    <message>
        <source>update-patch</source>
        <translation>патч</translation>
    </message>
    <message>
        <source>Update with the full installer</source>
        <translation>Обновить полным установщиком</translation>
    </message>
    <message>
        <source>Downloads the full installer and starts it</source>
        <translation>Загружает полный установщик и запускает его</translation>
    </message>
    <message>
        <source>update-full</source>
        <translation>полное</translation>
    </message>
    <message>
        <source>update</source>
        <translation>обновление</translation>
    </message>
    <message>
        <source>download finished
start update?</source>
        <translation>загрузка завершена
начать обновление?</translation>
    </message>
    <message>
        <source>Downloading Updates</source>
        <translation>Загрузка обновлений</translation>
    </message>
    <message>
        <source>Downloading updates</source>
        <translation>Загрузка обновлений</translation>
    </message>
    <message>
        <source>of</source>
        <translation>из</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 байт</translation>
    </message>
    <message>
        <source>%1 KB</source>
        <translation>%1 КБ</translation>
    </message>
    <message>
        <source>%1 MB</source>
        <translation>%1 МБ</translation>
    </message>
    <message>
        <source>about %1 hours</source>
        <translation>около %1 ч</translation>
    </message>
    <message>
        <source>1 minute</source>
        <translation>1 минута</translation>
    </message>
    <message>
        <source>%1 minutes</source>
        <translation>%1 мин</translation>
    </message>
    <message>
        <source>1 second</source>
        <translation>1 секунда</translation>
    </message>
    <message>
        <source>%1 seconds</source>
        <translation>%1 с</translation>
    </message>
    <message>
        <source>speed: %1 kb/s  </source>
        <translation>скорость: %1 кб/с  </translation>
    </message>
    <message>
        <source>Time remaining</source>
        <translation>Осталось</translation>
    </message>
    <message>
        <source>
current version: v</source>
        <translation>
текущая версия: v</translation>
    </message>
    <message>
        <source>
modify     time: </source>
        <translation>
время изменения: </translation>
    </message>
    <message>
        <source>
modify      cnt: </source>
        <translation>
число изменений: </translation>
    </message>
    <message>
        <source>
latest  version: v</source>
        <translation>
новая версия: v</translation>
    </message>
    <message>
        <source>
change      log: </source>
        <translation>
изменения: </translation>
    </message>
    <message>
        <source>click update button to update</source>
        <translation>нажмите кнопку обновления</translation>
    </message>
    <message>
        <source>
current software is up-to-date</source>
        <translation>
программа обновлена</translation>
    </message>
    <message>
        <source>
version        : v</source>
        <translation>
версия: v</translation>
    </message>
    <message>
        <source>
no need to update</source>
        <translation>
обновление не нужно</translation>
    </message>
    <message>
        <source>
click cancel button to quit</source>
        <translation>
нажмите «отмена», чтобы выйти</translation>
    </message>
    <message>
        <source>the server is busy (HTTP status %1); try again later</source>
        <translation>сервер перегружен (HTTP-статус %1); повторите попытку позже</translation>
    </message>
    <message>
        <source>the server is busy (HTTP status %1); try again in %2</source>
        <translation>сервер перегружен (HTTP-статус %1); повторите попытку через %2</translation>
    </message>
</context>
</TS>
