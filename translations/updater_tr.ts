<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="tr">
<context>
    <name>ProxyPrompt</name>
    <message>
        <source>proxy</source>
        <translation>vekil sunucu</translation>
    </message>
    <message>
        <source>The proxy at %1 asks for a user name and password.</source>
        <translation>%1 vekil sunucusu kullanıcı adı ve parola istiyor.</translation>
    </message>
    <message>
        <source>user name:</source>
        <translation>kullanıcı adı:</translation>
    </message>
    <message>
        <source>password:</source>
        <translation>parola:</translation>
    </message>
</context>
<context>
    <name>UpdaterDialog</name>
    <message>
        <source>Dialog</source>
        <translation>İletişim</translation>
    </message>
    <message>
        <source>AppName:</source>
        <translation>Uygulama:</translation>
    </message>
    <message>
        <source>Application name</source>
        <translation>Uygulama adı</translation>
    </message>
    <message>
        <source>The name of the application to update</source>
        <translation>Güncellenecek uygulamanın adı</translation>
    </message>
    <message>
        <source>Version:</source>
        <translation>Sürüm:</translation>
    </message>
    <message>
        <source>Installed version</source>
        <translation>Yüklü sürüm</translation>
    </message>
    <message>
        <source>The version of the application installed now</source>
        <translation>Şu anda yüklü olan uygulama sürümü</translation>
    </message>
    <message>
        <source>Check for updates</source>
        <translation>Güncellemeleri denetle</translation>
    </message>
    <message>
        <source>Asks the update server whether a newer version is available</source>
        <translation>Güncelleme sunucusuna daha yeni bir sürüm olup olmadığını sorar</translation>
    </message>
    <message>
        <source>check</source>
        <translation>denetle</translation>
    </message>
    <message>
        <source>Update report</source>
        <translation>Güncelleme raporu</translation>
    </message>
    <message>
        <source>What the check, the download and the install report, one line at a time</source>
        <translation>Denetim, indirme ve kurulumun bildirdikleri, satır satır</translation>
    </message>
    <message>
        <source>Download status</source>
        <translation>İndirme durumu</translation>
    </message>
    <message>
        <source>How much of the update has arrived</source>
        <translation>Güncellemenin ne kadarının geldiği</translation>
    </message>
    <message>
        <source>TextLabel</source>
        <translation>TextLabel</translation>
    </message>
    <message>
        <source>Download progress</source>
        <translation>İndirme ilerlemesi</translation>
    </message>
    <message>
        <source>The share of the update downloaded so far</source>
        <translation>Güncellemenin şimdiye kadar indirilen kısmı</translation>
    </message>
    <message>
        <source>Download speed and time left</source>
        <translation>İndirme hızı ve kalan süre</translation>
    </message>
    <message>
        <source>The speed of the download and the time it still needs</source>
        <translation>İndirmenin hızı ve daha ne kadar süreceği</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>İptal</translation>
    </message>
    <message>
        <source>Starts the application without updating and closes this window</source>
        <translation>Uygulamayı güncellemeden başlatır ve bu pencereyi kapatır</translation>
    </message>
    <message>
        <source>cancel</source>
        <translation>iptal</translation>
    </message>
    <message>
        <source>Update with the patch</source>
        <translation>Yamayla güncelle</translation>
    </message>
    <message>
        <source>Downloads the changed files and installs them</source>
        <translation>Değişen dosyaları indirir ve kurar</translation>
    </message>
    <message>
        <source>update-patch</source>
        <translation>yama</translation>
    </message>
    <message>
        <source>Update with the full installer</source>
        <translation>Tam yükleyiciyle güncelle</translation>
    </message>
    <message>
        <source>Downloads the full installer and starts it</source>
        <translation>Tam yükleyiciyi indirir ve başlatır</translation>
    </message>
    <message>
        <source>update-full</source>
        <translation>tam</translation>
    </message>
    <message>
        <source>update</source>
        <translation>güncelleme</translation>
    </message>
    <message>
        <source>download finished
start update?</source>
        <translation>indirme tamamlandı
güncelleme başlatılsın mı?</translation>
    </message>
    <message>
        <source>Downloading Updates</source>
        <translation>Güncellemeler indiriliyor</translation>
    </message>
    <message>
        <source>Downloading updates</source>
        <translation>Güncellemeler indiriliyor</translation>
    </message>
    <message>
        <source>of</source>
        <translation>/</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 bayt</translation>
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
        <translation>yaklaşık %1 saat</translation>
    </message>
    <message>
        <source>1 minute</source>
        <translation>1 dakika</translation>
    </message>
    <message>
        <source>%1 minutes</source>
        <translation>%1 dakika</translation>
    </message>
    <message>
        <source>1 second</source>
        <translation>1 saniye</translation>
    </message>
    <message>
        <source>%1 seconds</source>
        <translation>%1 saniye</translation>
    </message>
    <message>
        <source>speed: %1 kb/s  </source>
        <translation>hız: %1 kb/sn  </translation>
    </message>
    <message>
        <source>Time remaining</source>
        <translation>Kalan süre</translation>
    </message>
    <message>
        <source>
current version: v</source>
        <translation>
geçerli sürüm: v</translation>
    </message>
    <message>
        <source>
modify     time: </source>
        <translation>
değişiklik zamanı: </translation>
    </message>
    <message>
        <source>
modify      cnt: </source>
        <translation>
değişiklik sayısı: </translation>
    </message>
    <message>
        <source>
latest  version: v</source>
        <translation>
yeni sürüm: v</translation>
    </message>
    <message>
        <source>
change      log: </source>
        <translation>
değişiklikler: </translation>
    </message>
    <message>
        <source>click update button to update</source>
        <translation>güncellemek için bir güncelleme düğmesine tıklayın</translation>
    </message>
    <message>
        <source>
current software is up-to-date</source>
        <translation>
yazılım güncel</translation>
    </message>
    <message>
        <source>
version        : v</source>
        <translation>
sürüm: v</translation>
    </message>
    <message>
        <source>
no need to update</source>
        <translation>
güncelleme gerekmiyor</translation>
    </message>
    <message>
        <source>
click cancel button to quit</source>
        <translation>
çıkmak için iptal düğmesine tıklayın</translation>
    </message>
    <message>
        <source>the server is busy (HTTP status %1); try again later</source>
        <translation>sunucu meşgul (HTTP durumu %1); daha sonra yeniden deneyin</translation>
    </message>
    <message>
        <source>the server is busy (HTTP status %1); try again in %2</source>
        <translation>sunucu meşgul (HTTP durumu %1); %2 sonra yeniden deneyin</translation>
    </message>
</context>
</TS>
