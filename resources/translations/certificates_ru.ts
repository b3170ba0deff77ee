<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>QObject</name>
    <message>
        <source> - Certificate Warning</source>
        <translation> - Предупреждение о сертификате</translation>
    </message>
    <message>
        <source>Identity of site %1 cannot be verified due to following reason(s):</source>
        <translation>Не удаётся проверить подлинность сайта %1 по следующим причинам:</translation>
    </message>
    <message>
        <source>No Error</source>
        <translation>Нет ошибки</translation>
    </message>
    <message>
        <source>Issuer not found</source>
        <translation>Издатель не найден</translation>
    </message>
    <message>
        <source>Subject signature decryption failed</source>
        <translation>Не удалось расшифровать подпись субъекта</translation>
    </message>
    <message>
        <source>Issuer public key decoding failed</source>
        <translation>Не удалось декодировать открытый ключ издателя</translation>
    </message>
    <message>
        <source>Subject signature verification failed</source>
        <translation>Не удалось проверить подпись субъекта</translation>
    </message>
    <message>
        <source>Subject certificate is Not yet valid</source>
        <translation>Сертификат субъекта ещё не действителен</translation>
    </message>
    <message>
        <source>Subject certificate is expired</source>
        <translation>Срок действия сертификата субъекта истёк</translation>
    </message>
    <message>
        <source>Subject Not before field is invalid</source>
        <translation>Поле «Не ранее» субъекта недопустимо</translation>
    </message>
    <message>
        <source>Subject Not after field is invalid</source>
        <translation>Поле «Не позднее» субъекта недопустимо</translation>
    </message>
    <message>
        <source>Subject certificate is self signed</source>
        <translation>Сертификат субъекта самоподписанный</translation>
    </message>
    <message>
        <source>Root CA certificate is untrusted</source>
        <translation>Корневой сертификат ЦС не является доверенным</translation>
    </message>
    <message>
        <source>Unable to get local issuer certificate</source>
        <translation>Не удаётся получить сертификат локального издателя</translation>
    </message>
    <message>
        <source>Unable to verify first certificate in chain</source>
        <translation>Не удаётся проверить первый сертификат цепочки</translation>
    </message>
    <message>
        <source>Subject certificate is Revoked</source>
        <translation>Сертификат субъекта отозван</translation>
    </message>
    <message>
        <source>Invalid CA certificate</source>
        <translation>Недопустимый сертификат ЦС</translation>
    </message>
    <message>
        <source>Path length exceeded</source>
        <translation>Превышена длина пути</translation>
    </message>
    <message>
        <source>Invalid purpose</source>
        <translation>Недопустимое назначение</translation>
    </message>
    <message>
        <source>Certificate is untrusted</source>
        <translation>Сертификат не является доверенным</translation>
    </message>
    <message>
        <source>Certificate is rejected</source>
        <translation>Сертификат отклонён</translation>
    </message>
    <message>
        <source>Subject issuer mismatch</source>
        <translation>Субъект и издатель не совпадают</translation>
    </message>
    <message>
        <source>CA issuer serial mismatch</source>
        <translation>Серийный номер издателя ЦС не совпадает</translation>
    </message>
    <message>
        <source>No peer certificate</source>
        <translation>Нет сертификата узла</translation>
    </message>
    <message>
        <source>Host name mismatch</source>
        <translation>Имя узла не совпадает</translation>
    </message>
    <message>
        <source>No SSL support</source>
        <translation>Нет поддержки SSL</translation>
    </message>
    <message>
        <source>Certificate is blacklisted</source>
        <translation>Сертификат внесён в чёрный список</translation>
    </message>
    <message>
        <source>Unspecified error</source>
        <translation>Неизвестная ошибка</translation>
    </message>
    <message>
        <source>All application policies</source>
        <translation>Все политики применения</translation>
    </message>
    <message>
        <source>Proves your identity to a remote computer</source>
        <translation>Подтверждает вашу подлинность удалённому компьютеру</translation>
    </message>
    <message>
        <source>Ensures the identity of a remote computer</source>
        <translation>Гарантирует подлинность удалённого компьютера</translation>
    </message>
    <message>
        <source>Protects e-mail messages</source>
        <translation>Защищает сообщения электронной почты</translation>
    </message>
    <message>
        <source>OCSP signing</source>
        <translation>Подпись OCSP</translation>
    </message>
    <message>
        <source>Time Stamping</source>
        <translation>Отметка времени</translation>
    </message>
    <message>
        <source>Digital signature</source>
        <translation>Цифровая подпись</translation>
    </message>
    <message>
        <source>Non repudiation</source>
        <translation>Неотрекаемость</translation>
    </message>
    <message>
        <source>Key encipherment</source>
        <translation>Шифрование ключей</translation>
    </message>
    <message>
        <source>Data encipherment</source>
        <translation>Шифрование данных</translation>
    </message>
    <message>
        <source>Key agreement</source>
        <translation>Согласование ключей</translation>
    </message>
    <message>
        <source>Key certificate sign</source>
        <translation>Подпись сертификатов</translation>
    </message>
    <message>
        <source>CRL sign</source>
        <translation>Подпись списка отзыва</translation>
    </message>
    <message>
        <source>Encipher only</source>
        <translation>Только шифрование</translation>
    </message>
    <message>
        <source>Decipher only</source>
        <translation>Только расшифровка</translation>
    </message>
    <message>
        <source>Version</source>
        <translation>Версия</translation>
    </message>
    <message>
        <source>Serial Number</source>
        <translation>Серийный номер</translation>
    </message>
    <message>
        <source>Signature Algorithm</source>
        <translation>Алгоритм подписи</translation>
    </message>
    <message>
        <source>Issuer</source>
        <translation>Издатель</translation>
    </message>
    <message>
        <source>Valid From</source>
        <translation>Действителен с</translation>
    </message>
    <message>
        <source>Valid To</source>
        <translation>Действителен по</translation>
    </message>
    <message>
        <source>Subject</source>
        <translation>Субъект</translation>
    </message>
    <message>
        <source>Public Key</source>
        <translation>Открытый ключ</translation>
    </message>
    <message>
        <source>Id</source>
        <translation>Код</translation>
    </message>
    <message>
        <source>Field</source>
        <translation>Поле</translation>
    </message>
    <message>
        <source>value</source>
        <translation>значение</translation>
    </message>
</context>
<context>
    <name>CertificateErrorDialog</name>
    <message>
        <source>Certificate Warning</source>
        <translation>Предупреждение о сертификате</translation>
    </message>
    <message>
        <source>Do you want to continue?</source>
        <translation>Продолжить?</translation>
    </message>
    <message>
        <source>View Certificate...</source>
        <translation>Просмотреть сертификат...</translation>
    </message>
</context>
<context>
    <name>CertificateViewer</name>
    <message>
        <source>Certificate</source>
        <translation>Сертификат</translation>
    </message>
    <message>
        <source>General</source>
        <translation>Общие</translation>
    </message>
    <message>
        <source>Certificate Information</source>
        <translation>Сведения о сертификате</translation>
    </message>
    <message>
        <source>This certificate is intended for the following purpose(s):</source>
        <translation>Назначение сертификата:</translation>
    </message>
    <message>
        <source>Issued to:</source>
        <translation>Кому выдан:</translation>
    </message>
    <message>
        <source>Issued By:</source>
        <translation>Кем выдан:</translation>
    </message>
    <message>
        <source>Valid from:</source>
        <translation>Действителен с:</translation>
    </message>
    <message>
        <source>Details</source>
        <translation>Состав</translation>
    </message>
    <message>
        <source>Details:</source>
        <translation>Состав:</translation>
    </message>
    <message>
        <source>Base64</source>
        <translation>Base64</translation>
    </message>
</context>
</TS>
