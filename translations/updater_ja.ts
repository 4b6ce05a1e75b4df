<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja">
<context>
    <name>ProxyPrompt</name>
    <message>
        <source>proxy</source>
        <translation>プロキシ</translation>
    </message>
    <message>
        <source>The proxy at %1 asks for a user name and password.</source>
        <translation>プロキシ %1 がユーザー名とパスワードを求めています。</translation>
    </message>
    <message>
        <source>user name:</source>
        <translation>ユーザー名:</translation>
    </message>
    <message>
        <source>password:</source>
        <translation>パスワード:</translation>
    </message>
</context>
<context>
    <name>UpdaterDialog</name>
    <message>
        <source>Dialog</source>
        <translation>ダイアログ</translation>
    </message>
    <message>
        <source>AppName:</source>
        <translation>アプリ名:</translation>
    </message>
    <message>
        <source>Application name</source>
        <translation>アプリケーション名</translation>
    </message>
    <message>
        <source>The name of the application to update</source>
        <translation>更新するアプリケーションの名前</translation>
    </message>
    <message>
        <source>Version:</source>
        <translation>バージョン:</translation>
    </message>
    <message>
        <source>Installed version</source>
        <translation>インストール済みのバージョン</translation>
    </message>
    <message>
        <source>The version of the application installed now</source>
        <translation>現在インストールされているアプリケーションのバージョン</translation>
    </message>
    <message>
        <source>Check for updates</source>
        <translation>更新を確認</translation>
    </message>
    <message>
        <source>Asks the update server whether a newer version is available</source>
        <translation>新しいバージョンがあるか更新サーバーに問い合わせます</translation>
    </message>
    <message>
        <source>check</source>
        <translation>確認</translation>
    </message>
    <message>
        <source>Update report</source>
        <translation>更新レポート</translation>
    </message>
    <message>
        <source>What the check, the download and the install report, one line at a time</source>
        <translation>確認・ダウンロード・インストールの報告を1行ずつ表示します</translation>
    </message>
    <message>
        <source>Download status</source>
        <translation>ダウンロードの状態</translation>
    </message>
    <message>
        <source>How much of the update has arrived</source>
        <translation>更新のうち受信済みの量</translation>
    </message>
    <message>
        <source>TextLabel</source>
        <translation>TextLabel</translation>
    </message>
    <message>
        <source>Download progress</source>
        <translation>ダウンロードの進行状況</translation>
    </message>
    <message>
        <source>The share of the update downloaded so far</source>
        <translation>これまでにダウンロードした更新の割合</translation>
    </message>
    <message>
        <source>Download speed and time left</source>
        <translation>ダウンロード速度と残り時間</translation>
    </message>
    <message>
        <source>The speed of the download and the time it still needs</source>
        <translation>ダウンロードの速度と残りの所要時間</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>キャンセル</translation>
    </message>
    <message>
        <source>Starts the application without updating and closes this window</source>
        <translation>更新せずにアプリケーションを起動し、このウィンドウを閉じます</translation>
    </message>
    <message>
        <source>cancel</source>
        <translation>キャンセル</translation>
    </message>
    <message>
        <source>Update with the patch</source>
        <translation>パッチで更新</translation>
    </message>
    <message>
        <source>Downloads the changed files and installs them</source>
        <translation>変更されたファイルをダウンロードしてインストールします</translation>
    </message>
    <message>
        <source>update-patch</source>
        <translation>パッチ更新</translation>
    </message>
    <message>
        <source>Update with the full installer</source>
        <translation>完全なインストーラーで更新</translation>
    </message>
    <message>
        <source>Downloads the full installer and starts it</source>
        <translation>完全なインストーラーをダウンロードして起動します</translation>
    </message>
    <message>
        <source>update-full</source>
        <translation>完全更新</translation>
    </message>
    <message>
        <source>update</source>
        <translation>更新</translation>
    </message>
    <message>
        <source>download finished
start update?</source>
        <translation>ダウンロード完了
更新を開始しますか?</translation>
    </message>
    <message>
        <source>Downloading Updates</source>
        <translation>更新をダウンロード中</translation>
    </message>
    <message>
        <source>Downloading updates</source>
        <translation>更新をダウンロード中</translation>
    </message>
    <message>
        <source>of</source>
        <translation>/</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 バイト</translation>
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
        <translation>約 %1 時間</translation>
    </message>
    <message>
        <source>1 minute</source>
        <translation>1 分</translation>
    </message>
    <message>
        <source>%1 minutes</source>
        <translation>%1 分</translation>
    </message>
    <message>
        <source>1 second</source>
        <translation>1 秒</translation>
    </message>
    <message>
        <source>%1 seconds</source>
        <translation>%1 秒</translation>
    </message>
    <message>
        <source>speed: %1 kb/s  </source>
        <translation>速度: %1 kb/s  </translation>
    </message>
    <message>
        <source>Time remaining</source>
        <translation>残り時間</translation>
    </message>
    <message>
        <source>
current version: v</source>
        <translation>
現在のバージョン: v</translation>
    </message>
    <message>
        <source>
modify     time: </source>
        <translation>
更新日時: </translation>
    </message>
    <message>
        <source>
modify      cnt: </source>
        <translation>
更新回数: </translation>
    </message>
    <message>
        <source>
latest  version: v</source>
        <translation>
最新バージョン: v</translation>
    </message>
    <message>
        <source>
change      log: </source>
        <translation>
変更内容: </translation>
    </message>
    <message>
        <source>click update button to update</source>
        <translation>更新ボタンをクリックしてください</translation>
    </message>
    <message>
        <source>
current software is up-to-date</source>
        <translation>
ソフトウェアは最新です</translation>
    </message>
    <message>
        <source>
version        : v</source>
        <translation>
バージョン: v</translation>
    </message>
    <message>
        <source>
no need to update</source>
        <translation>
更新は不要です</translation>
    </message>
    <message>
        <source>
click cancel button to quit</source>
        <translation>
キャンセルをクリックして終了します</translation>
    </message>
    <message>
        <source>the server is busy (HTTP status %1); try again later</source>
        <translation>サーバーが混雑しています (HTTP ステータス %1)。後でもう一度お試しください</translation>
    </message>
    <message>
        <source>the server is busy (HTTP status %1); try again in %2</source>
        <translation>サーバーが混雑しています (HTTP ステータス %1)。%2 後にもう一度お試しください</translation>
    </message>
</context>
</TS>
