<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>ProxyPrompt</name>
    <message>
        <source>proxy</source>
        <translation>代理</translation>
    </message>
    <message>
        <source>The proxy at %1 asks for a user name and password.</source>
        <translation>代理服务器 %1 需要用户名和密码。</translation>
    </message>
    <message>
        <source>user name:</source>
        <translation>用户名:</translation>
    </message>
    <message>
        <source>password:</source>
        <translation>密码:</translation>
    </message>
</context>
<context>
    <name>UpdaterDialog</name>
    <message>
        <source>Dialog</source>
        <translation>对话框</translation>
    </message>
    <message>
        <source>AppName:</source>
        <translation>应用名称:</translation>
    </message>
    <message>
        <source>Application name</source>
        <translation>应用程序名称</translation>
    </message>
    <message>
        <source>The name of the application to update</source>
        <translation>要更新的应用程序的名称</translation>
    </message>
    <message>
        <source>Version:</source>
        <translation>版本:</translation>
    </message>
    <message>
        <source>Installed version</source>
        <translation>已安装的版本</translation>
    </message>
    <message>
        <source>The version of the application installed now</source>
        <translation>当前安装的应用程序版本</translation>
    </message>
    <message>
        <source>Check for updates</source>
        <translation>检查更新</translation>
    </message>
    <message>
        <source>Asks the update server whether a newer version is available</source>
        <translation>询问更新服务器是否有更新的版本</translation>
    </message>
    <message>
        <source>check</source>
        <translation>检查</translation>
    </message>
    <message>
        <source>Update report</source>
        <translation>更新报告</translation>
    </message>
    <message>
        <source>What the check, the download and the install report, one line at a time</source>
        <translation>检查、下载和安装的报告,逐行显示</translation>
    </message>
    <message>
        <source>Download status</source>
        <translation>下载状态</translation>
    </message>
    <message>
        <source>How much of the update has arrived</source>
        <translation>已收到的更新量</translation>
    </message>
    <message>
        <source>TextLabel</source>
        <translation>TextLabel</translation>
    </message>
    <message>
        <source>Download progress</source>
        <translation>下载进度</translation>
    </message>
    <message>
        <source>The share of the update downloaded so far</source>
        <translation>目前已下载的更新比例</translation>
    </message>
    <message>
        <source>Download speed and time left</source>
        <translation>下载速度和剩余时间</translation>
    </message>
    <message>
        <source>The speed of the download and the time it still needs</source>
        <translation>下载的速度和仍需的时间</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Starts the application without updating and closes this window</source>
        <translation>不更新直接启动应用程序并关闭此窗口</translation>
    </message>
    <message>
        <source>cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Update with the patch</source>
        <translation>用补丁更新</translation>
    </message>
    <message>
        <source>Downloads the changed files and installs them</source>
        <translation>下载已更改的文件并安装</translation>
    </message>
    <message>
        <source>update-patch</source>
        <translation>补丁更新</translation>
    </message>
    <message>
        <source>Update with the full installer</source>
        <translation>用完整安装程序更新</translation>
    </message>
    <message>
        <source>Downloads the full installer and starts it</source>
        <translation>下载完整安装程序并启动</translation>
    </message>
    <message>
        <source>update-full</source>
        <translation>完整更新</translation>
    </message>
    <message>
        <source>update</source>
        <translation>更新</translation>
    </message>
    <message>
        <source>download finished
start update?</source>
        <translation>下载完成
开始更新?</translation>
    </message>
    <message>
        <source>Downloading Updates</source>
        <translation>正在下载更新</translation>
    </message>
    <message>
        <source>Downloading updates</source>
        <translation>正在下载更新</translation>
    </message>
    <message>
        <source>of</source>
        <translation>/</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 字节</translation>
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
        <translation>约 %1 小时</translation>
    </message>
    <message>
        <source>1 minute</source>
        <translation>1 分钟</translation>
    </message>
    <message>
        <source>%1 minutes</source>
        <translation>%1 分钟</translation>
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
        <translation>剩余时间</translation>
    </message>
    <message>
        <source>
current version: v</source>
        <translation>
当前版本: v</translation>
    </message>
    <message>
        <source>
modify     time: </source>
        <translation>
修改时间: </translation>
    </message>
    <message>
        <source>
modify      cnt: </source>
        <translation>
修改次数: </translation>
    </message>
    <message>
        <source>
latest  version: v</source>
        <translation>
最新版本: v</translation>
    </message>
    <message>
        <source>
change      log: </source>
        <translation>
更新日志: </translation>
    </message>
    <message>
        <source>click update button to update</source>
        <translation>请点击更新按钮进行更新</translation>
    </message>
    <message>
        <source>
current software is up-to-date</source>
        <translation>
软件已是最新</translation>
    </message>
    <message>
        <source>
version        : v</source>
        <translation>
版本: v</translation>
    </message>
    <message>
        <source>
no need to update</source>
        <translation>
无需更新</translation>
    </message>
    <message>
        <source>
click cancel button to quit</source>
        <translation>
点击取消按钮退出</translation>
    </message>
    <message>
        <source>the server is busy (HTTP status %1); try again later</source>
        <translation>服务器繁忙（HTTP 状态 %1）；请稍后重试</translation>
    </message>
    <message>
        <source>the server is busy (HTTP status %1); try again in %2</source>
        <translation>服务器繁忙（HTTP 状态 %1）；请在 %2 后重试</translation>
    </message>
</context>
</TS>
