<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ko">
<context>
    <name>ProxyPrompt</name>
    <message>
        <source>proxy</source>
        <translation>프록시</translation>
    </message>
    <message>
        <source>The proxy at %1 asks for a user name and password.</source>
        <translation>프록시 %1에서 사용자 이름과 암호를 요구합니다.</translation>
    </message>
    <message>
        <source>user name:</source>
        <translation>사용자 이름:</translation>
    </message>
    <message>
        <source>password:</source>
        <translation>암호:</translation>
    </message>
</context>
<context>
    <name>UpdaterDialog</name>
    <message>
        <source>Dialog</source>
        <translation>대화 상자</translation>
    </message>
    <message>
        <source>AppName:</source>
        <translation>앱 이름:</translation>
    </message>
    <message>
        <source>Application name</source>
        <translation>애플리케이션 이름</translation>
    </message>
    <message>
        <source>The name of the application to update</source>
        <translation>업데이트할 애플리케이션의 이름</translation>
    </message>
    <message>
        <source>Version:</source>
        <translation>버전:</translation>
    </message>
    <message>
        <source>Installed version</source>
        <translation>설치된 버전</translation>
    </message>
    <message>
        <source>The version of the application installed now</source>
        <translation>현재 설치된 애플리케이션 버전</translation>
    </message>
    <message>
        <source>Check for updates</source>
        <translation>업데이트 확인</translation>
    </message>
    <message>
        <source>Asks the update server whether a newer version is available</source>
        <translation>더 새로운 버전이 있는지 업데이트 서버에 묻습니다</translation>
    </message>
    <message>
        <source>check</source>
        <translation>확인</translation>
    </message>
    <message>
        <source>Update report</source>
        <translation>업데이트 보고서</translation>
    </message>
    <message>
        <source>What the check, the download and the install report, one line at a time</source>
        <translation>확인, 다운로드, 설치가 알리는 내용을 한 줄씩 보여 줍니다</translation>
    </message>
    <message>
        <source>Download status</source>
        <translation>다운로드 상태</translation>
    </message>
    <message>
        <source>How much of the update has arrived</source>
        <translation>업데이트 중 받은 양</translation>
    </message>
    <message>
        <source>TextLabel</source>
        <translation>TextLabel</translation>
    </message>
    <message>
        <source>Download progress</source>
        <translation>다운로드 진행률</translation>
    </message>
    <message>
        <source>The share of the update downloaded so far</source>
        <translation>지금까지 다운로드한 업데이트의 비율</translation>
    </message>
    <message>
        <source>Download speed and time left</source>
        <translation>다운로드 속도와 남은 시간</translation>
    </message>
    <message>
        <source>The speed of the download and the time it still needs</source>
        <translation>다운로드 속도와 아직 필요한 시간</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>취소</translation>
    </message>
    <message>
        <source>Starts the application without updating and closes this window</source>
        <translation>업데이트하지 않고 애플리케이션을 시작하고 이 창을 닫습니다</translation>
    </message>
    <message>
        <source>cancel</source>
        <translation>취소</translation>
    </message>
    <message>
        <source>Update with the patch</source>
        <translation>패치로 업데이트</translation>
    </message>
    <message>
        <source>Downloads the changed files and installs them</source>
        <translation>변경된 파일을 다운로드하여 설치합니다</translation>
    </message>
    <message>
        <source>update-patch</source>
        <translation>패치 업데이트</translation>
    </message>
    <message>
        <source>Update with the full installer</source>
        <translation>전체 설치 프로그램으로 업데이트</translation>
    </message>
    <message>
        <source>Downloads the full installer and starts it</source>
        <translation>전체 설치 프로그램을 다운로드하여 시작합니다</translation>
    </message>
    <message>
        <source>update-full</source>
        <translation>전체 업데이트</translation>
    </message>
    <message>
        <source>update</source>
        <translation>업데이트</translation>
    </message>
    <message>
        <source>download finished
start update?</source>
        <translation>다운로드 완료
업데이트를 시작할까요?</translation>
    </message>
    <message>
        <source>Downloading Updates</source>
        <translation>업데이트 다운로드 중</translation>
    </message>
    <message>
        <source>Downloading updates</source>
        <translation>업데이트 다운로드 중</translation>
    </message>
    <message>
        <source>of</source>
        <translation>/</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 바이트</translation>
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
        <translation>약 %1시간</translation>
    </message>
    <message>
        <source>1 minute</source>
        <translation>1분</translation>
    </message>
    <message>
        <source>%1 minutes</source>
        <translation>%1분</translation>
    </message>
    <message>
        <source>1 second</source>
        <translation>1초</translation>
    </message>
    <message>
        <source>%1 seconds</source>
        <translation>%1초</translation>
    </message>
    <message>
        <source>speed: %1 kb/s  </source>
        <translation>속도: %1 kb/s  </translation>
    </message>
    <message>
        <source>Time remaining</source>
        <translation>남은 시간</translation>
    </message>
    <message>
        <source>
current version: v</source>
        <translation>
현재 버전: v</translation>
    </message>
    <message>
        <source>
modify     time: </source>
        <translation>
수정 시간: </translation>
    </message>
    <message>
        <source>
modify      cnt: </source>
        <translation>
수정 횟수: </translation>
    </message>
    <message>
        <source>
latest  version: v</source>
        <translation>
최신 버전: v</translation>
    </message>
    <message>
        <source>
change      log: </source>
        <translation>
변경 내역: </translation>
    </message>
    <message>
        <source>click update button to update</source>
        <translation>업데이트 버튼을 눌러 업데이트하세요</translation>
    </message>
    <message>
        <source>
current software is up-to-date</source>
        <translation>
소프트웨어가 최신입니다</translation>
    </message>
    <message>
        <source>
version        : v</source>
        <translation>
버전: v</translation>
    </message>
    <message>
        <source>
no need to update</source>
        <translation>
업데이트할 필요가 없습니다</translation>
    </message>
    <message>
        <source>
click cancel button to quit</source>
        <translation>
종료하려면 취소 버튼을 누르세요</translation>
    </message>
    <message>
        <source>the server is busy (HTTP status %1); try again later</source>
        <translation>서버가 혼잡합니다 (HTTP 상태 %1). 나중에 다시 시도하세요</translation>
    </message>
    <message>
        <source>the server is busy (HTTP status %1); try again in %2</source>
        <translation>서버가 혼잡합니다 (HTTP 상태 %1). %2 후에 다시 시도하세요</translation>
    </message>
</context>
</TS>
