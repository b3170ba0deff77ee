<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ko_KR">
<context>
    <name>QObject</name>
    <message>
        <source> - Certificate Warning</source>
        <translation> - 인증서 경고</translation>
    </message>
    <message>
        <source>Identity of site %1 cannot be verified due to following reason(s):</source>
        <translation>다음 이유로 인해 사이트 %1의 ID를 확인할 수 없습니다:</translation>
    </message>
    <message>
        <source>No Error</source>
        <translation>오류 없음</translation>
    </message>
    <message>
        <source>Issuer not found</source>
        <translation>발급자를 찾을 수 없음</translation>
    </message>
    <message>
        <source>Subject signature decryption failed</source>
        <translation>주체 서명 해독 실패</translation>
    </message>
    <message>
        <source>Issuer public key decoding failed</source>
        <translation>발급자 공개 키 디코딩 실패</translation>
    </message>
    <message>
        <source>Subject signature verification failed</source>
        <translation>주체 서명 확인 실패</translation>
    </message>
    <message>
        <source>Subject certificate is Not yet valid</source>
        <translation>주체 인증서가 아직 유효하지 않음</translation>
    </message>
    <message>
        <source>Subject certificate is expired</source>
        <translation>주체 인증서가 만료됨</translation>
    </message>
    <message>
        <source>Subject Not before field is invalid</source>
        <translation>주체의 유효 기간 시작 필드가 잘못됨</translation>
    </message>
    <message>
        <source>Subject Not after field is invalid</source>
        <translation>주체의 유효 기간 종료 필드가 잘못됨</translation>
    </message>
    <message>
        <source>Subject certificate is self signed</source>
        <translation>주체 인증서가 자체 서명됨</translation>
    </message>
    <message>
        <source>Root CA certificate is untrusted</source>
        <translation>루트 CA 인증서를 신뢰할 수 없음</translation>
    </message>
    <message>
        <source>Unable to get local issuer certificate</source>
        <translation>로컬 발급자 인증서를 가져올 수 없음</translation>
    </message>
    <message>
        <source>Unable to verify first certificate in chain</source>
        <translation>체인의 첫 번째 인증서를 확인할 수 없음</translation>
    </message>
    <message>
        <source>Subject certificate is Revoked</source>
        <translation>주체 인증서가 해지됨</translation>
    </message>
    <message>
        <source>Invalid CA certificate</source>
        <translation>잘못된 CA 인증서</translation>
    </message>
    <message>
        <source>Path length exceeded</source>
        <translation>경로 길이 초과</translation>
    </message>
    <message>
        <source>Invalid purpose</source>
        <translation>잘못된 용도</translation>
    </message>
    <message>
        <source>Certificate is untrusted</source>
        <translation>인증서를 신뢰할 수 없음</translation>
    </message>
    <message>
        <source>Certificate is rejected</source>
        <translation>인증서가 거부됨</translation>
    </message>
    <message>
        <source>Subject issuer mismatch</source>
        <translation>주체와 발급자가 일치하지 않음</translation>
    </message>
    <message>
        <source>CA issuer serial mismatch</source>
        <translation>CA 발급자 일련 번호가 일치하지 않음</translation>
    </message>
    <message>
        <source>No peer certificate</source>
        <translation>피어 인증서 없음</translation>
    </message>
    <message>
        <source>Host name mismatch</source>
        <translation>호스트 이름이 일치하지 않음</translation>
    </message>
    <message>
        <source>No SSL support</source>
        <translation>SSL 지원 없음</translation>
    </message>
    <message>
        <source>Certificate is blacklisted</source>
        <translation>인증서가 차단 목록에 있음</translation>
    </message>
    <message>
        <source>Unspecified error</source>
        <translation>지정되지 않은 오류</translation>
    </message>
    <message>
        <source>All application policies</source>
        <translation>모든 응용 프로그램 정책</translation>
    </message>
    <message>
        <source>Proves your identity to a remote computer</source>
        <translation>원격 컴퓨터에 사용자 ID를 증명합니다</translation>
    </message>
    <message>
        <source>Ensures the identity of a remote computer</source>
        <translation>원격 컴퓨터의 ID를 보증합니다</translation>
    </message>
    <message>
        <source>Protects e-mail messages</source>
        <translation>전자 메일 메시지를 보호합니다</translation>
    </message>
    <message>
        <source>OCSP signing</source>
        <translation>OCSP 서명</translation>
    </message>
    <message>
        <source>Time Stamping</source>
        <translation>타임스탬프</translation>
    </message>
    <message>
        <source>Digital signature</source>
        <translation>디지털 서명</translation>
    </message>
    <message>
        <source>Non repudiation</source>
        <translation>부인 방지</translation>
    </message>
    <message>
        <source>Key encipherment</source>
        <translation>키 암호화</translation>
    </message>
    <message>
        <source>Data encipherment</source>
        <translation>데이터 암호화</translation>
    </message>
    <message>
        <source>Key agreement</source>
        <translation>키 합의</translation>
    </message>
    <message>
        <source>Key certificate sign</source>
        <translation>인증서 서명</translation>
    </message>
    <message>
        <source>CRL sign</source>
        <translation>CRL 서명</translation>
    </message>
    <message>
        <source>Encipher only</source>
        <translation>암호화 전용</translation>
    </message>
    <message>
        <source>Decipher only</source>
        <translation>해독 전용</translation>
    </message>
    <message>
        <source>Version</source>
        <translation>버전</translation>
    </message>
    <message>
        <source>Serial Number</source>
        <translation>일련 번호</translation>
    </message>
    <message>
        <source>Signature Algorithm</source>
        <translation>서명 알고리즘</translation>
    </message>
    <message>
        <source>Issuer</source>
        <translation>발급자</translation>
    </message>
    <message>
        <source>Valid From</source>
        <translation>유효 기간 시작</translation>
    </message>
    <message>
        <source>Valid To</source>
        <translation>유효 기간 끝</translation>
    </message>
    <message>
        <source>Subject</source>
        <translation>주체</translation>
    </message>
    <message>
        <source>Public Key</source>
        <translation>공개 키</translation>
    </message>
    <message>
        <source>Id</source>
        <translation>ID</translation>
    </message>
    <message>
        <source>Field</source>
        <translation>필드</translation>
    </message>
    <message>
        <source>value</source>
        <translation>값</translation>
    </message>
</context>
<context>
    <name>CertificateErrorDialog</name>
    <message>
        <source>Certificate Warning</source>
        <translation>인증서 경고</translation>
    </message>
    <message>
        <source>Do you want to continue?</source>
        <translation>계속하시겠습니까?</translation>
    </message>
    <message>
        <source>View Certificate...</source>
        <translation>인증서 보기...</translation>
    </message>
</context>
<context>
    <name>CertificateViewer</name>
    <message>
        <source>Certificate</source>
        <translation>인증서</translation>
    </message>
    <message>
        <source>General</source>
        <translation>일반</translation>
    </message>
    <message>
        <source>Certificate Information</source>
        <translation>인증서 정보</translation>
    </message>
    <message>
        <source>This certificate is intended for the following purpose(s):</source>
        <translation>이 인증서의 용도:</translation>
    </message>
    <message>
        <source>Issued to:</source>
        <translation>발급 대상:</translation>
    </message>
    <message>
        <source>Issued By:</source>
        <translation>발급자:</translation>
    </message>
    <message>
        <source>Valid from:</source>
        <translation>유효 기간:</translation>
    </message>
    <message>
        <source>Details</source>
        <translation>자세히</translation>
    </message>
    <message>
        <source>Details:</source>
        <translation>자세히:</translation>
    </message>
    <message>
        <source>Base64</source>
        <translation>Base64</translation>
    </message>
</context>
</TS>
