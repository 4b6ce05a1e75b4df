<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="pt_BR">
<context>
    <name>ProxyPrompt</name>
    <message>
        <source>proxy</source>
        <translation>proxy</translation>
    </message>
    <message>
        <source>The proxy at %1 asks for a user name and password.</source>
        <translation>O proxy %1 pede um nome de usuário e uma senha.</translation>
    </message>
    <message>
        <source>user name:</source>
        <translation>usuário:</translation>
    </message>
    <message>
        <source>password:</source>
        <translation>senha:</translation>
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
        <translation>Aplicativo:</translation>
    </message>
    <message>
        <source>Application name</source>
        <translation>Nome do aplicativo</translation>
    </message>
    <message>
        <source>The name of the application to update</source>
        <translation>O nome do aplicativo a atualizar</translation>
    </message>
    <message>
        <source>Version:</source>
        <translation>Versão:</translation>
    </message>
    <message>
        <source>Installed version</source>
        <translation>Versão instalada</translation>
    </message>
    <message>
        <source>The version of the application installed now</source>
        <translation>A versão do aplicativo instalada agora</translation>
    </message>
    <message>
        <source>Check for updates</source>
        <translation>Procurar atualizações</translation>
    </message>
    <message>
        <source>Asks the update server whether a newer version is available</source>
        <translation>Pergunta ao servidor de atualizações se há uma versão mais recente</translation>
    </message>
    <message>
        <source>check</source>
        <translation>verificar</translation>
    </message>
    <message>
        <source>Update report</source>
        <translation>Relatório de atualização</translation>
    </message>
    <message>
        <source>What the check, the download and the install report, one line at a time</source>
        <translation>O que a verificação, o download e a instalação informam, linha por linha</translation>
    </message>
    <message>
        <source>Download status</source>
        <translation>Status do download</translation>
    </message>
    <message>
        <source>How much of the update has arrived</source>
        <translation>Quanto da atualização já chegou</translation>
    </message>
    <message>
        <source>TextLabel</source>
        <translation>TextLabel</translation>
    </message>
    <message>
        <source>Download progress</source>
        <translation>Progresso do download</translation>
    </message>
    <message>
        <source>The share of the update downloaded so far</source>
        <translation>A parte da atualização baixada até agora</translation>
    </message>
    <message>
        <source>Download speed and time left</source>
        <translation>Velocidade do download e tempo restante</translation>
    </message>
    <message>
        <source>The speed of the download and the time it still needs</source>
        <translation>A velocidade do download e o tempo que ainda precisa</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <source>Starts the application without updating and closes this window</source>
        <translation>Inicia o aplicativo sem atualizar e fecha esta janela</translation>
    </message>
    <message>
        <source>cancel</source>
        <translation>cancelar</translation>
    </message>
    <message>
        <source>Update with the patch</source>
        <translation>Atualizar com o patch</translation>
    </message>
    <message>
        <source>Downloads the changed files and installs them</source>
        <translation>Baixa os arquivos alterados e os instala</translation>
    </message>
    <message>
        <source>update-patch</source>
        <translation>patch</translation>
    </message>
    <message>
        <source>Update with the full installer</source>
        <translation>Atualizar com o instalador completo</translation>
    </message>
    <message>
        <source>Downloads the full installer and starts it</source>
        <translation>Baixa o instalador completo e o inicia</translation>
    </message>
    <message>
        <source>update-full</source>
        <translation>completa</translation>
    </message>
    <message>
        <source>update</source>
        <translation>atualização</translation>
    </message>
    <message>
        <source>download finished
start update?</source>
        <translation>download concluído
iniciar a atualização?</translation>
    </message>
    <message>
        <source>Downloading Updates</source>
        <translation>Baixando atualizações</translation>
    </message>
    <message>
        <source>Downloading updates</source>
        <translation>Baixando atualizações</translation>
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
        <translation>cerca de %1 horas</translation>
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
        <translation>velocidade: %1 kb/s  </translation>
    </message>
    <message>
        <source>Time remaining</source>
        <translation>Tempo restante</translation>
    </message>
    <message>
        <source>
current version: v</source>
        <translation>
versão atual: v</translation>
    </message>
    <message>
        <source>
modify     time: </source>
        <translation>
data da alteração: </translation>
    </message>
    <message>
        <source>
modify      cnt: </source>
        <translation>
nº de alterações: </translation>
    </message>
    <message>
        <source>
latest  version: v</source>
        <translation>
versão nova: v</translation>
    </message>
    <message>
        <source>
change      log: </source>
        <translation>
mudanças: </translation>
    </message>
    <message>
        <source>click update button to update</source>
        <translation>clique em um botão de atualizar</translation>
    </message>
    <message>
        <source>
current software is up-to-date</source>
        <translation>
o software está atualizado</translation>
    </message>
    <message>
        <source>
version        : v</source>
        <translation>
versão: v</translation>
    </message>
    <message>
        <source>
no need to update</source>
        <translation>
não é preciso atualizar</translation>
    </message>
    <message>
        <source>
click cancel button to quit</source>
        <translation>
clique em cancelar para sair</translation>
    </message>
    <message>
        <source>the server is busy (HTTP status %1); try again later</source>
        <translation>o servidor está ocupado (status HTTP %1); tente novamente mais tarde</translation>
    </message>
    <message>
        <source>the server is busy (HTTP status %1); try again in %2</source>
        <translation>o servidor está ocupado (status HTTP %1); tente novamente em %2</translation>
    </message>
</context>
</TS>
