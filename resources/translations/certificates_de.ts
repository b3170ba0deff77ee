<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>QObject</name>
    <message>
        <source> - Certificate Warning</source>
        <translation> - Zertifikatswarnung</translation>
    </message>
    <message>
        <source>Identity of site %1 cannot be verified due to following reason(s):</source>
        <translation>Die Identität der Website %1 kann aus folgenden Gründen nicht überprüft werden:</translation>
    </message>
    <message>
        <source>No Error</source>
        <translation>Kein Fehler</translation>
    </message>
    <message>
        <source>Issuer not found</source>
        <translation>Aussteller nicht gefunden</translation>
    </message>
    <message>
        <source>Subject signature decryption failed</source>
        <translation>Entschlüsselung der Signatur des Inhabers fehlgeschlagen</translation>
    </message>
    <message>
        <source>Issuer public key decoding failed</source>
        <translation>Dekodierung des öffentlichen Schlüssels des Ausstellers fehlgeschlagen</translation>
    </message>
    <message>
        <source>Subject signature verification failed</source>
        <translation>Überprüfung der Signatur des Inhabers fehlgeschlagen</translation>
    </message>
    <message>
        <source>Subject certificate is Not yet valid</source>
        <translation>Das Zertifikat des Inhabers ist noch nicht gültig</translation>
    </message>
    <message>
        <source>Subject certificate is expired</source>
        <translation>Das Zertifikat des Inhabers ist abgelaufen</translation>
    </message>
    <message>
        <source>Subject Not before field is invalid</source>
        <translation>Das Feld „Gültig ab“ des Inhabers ist ungültig</translation>
    </message>
    <message>
        <source>Subject Not after field is invalid</source>
        <translation>Das Feld „Gültig bis“ des Inhabers ist ungültig</translation>
    </message>
    <message>
        <source>Subject certificate is self signed</source>
        <translation>Das Zertifikat des Inhabers ist selbstsigniert</translation>
    </message>
    <message>
        <source>Root CA certificate is untrusted</source>
        <translation>Das Zertifikat der Stammzertifizierungsstelle ist nicht vertrauenswürdig</translation>
    </message>
    <message>
        <source>Unable to get local issuer certificate</source>
        <translation>Das lokale Ausstellerzertifikat kann nicht abgerufen werden</translation>
    </message>
    <message>
        <source>Unable to verify first certificate in chain</source>
        <translation>Das erste Zertifikat der Kette kann nicht überprüft werden</translation>
    </message>
    <message>
        <source>Subject certificate is Revoked</source>
        <translation>Das Zertifikat des Inhabers wurde widerrufen</translation>
    </message>
    <message>
        <source>Invalid CA certificate</source>
        <translation>Ungültiges Zertifikat der Zertifizierungsstelle</translation>
    </message>
    <message>
        <source>Path length exceeded</source>
        <translation>Pfadlänge überschritten</translation>
    </message>
    <message>
        <source>Invalid purpose</source>
        <translation>Ungültiger Verwendungszweck</translation>
    </message>
    <message>
        <source>Certificate is untrusted</source>
        <translation>Das Zertifikat ist nicht vertrauenswürdig</translation>
    </message>
    <message>
        <source>Certificate is rejected</source>
        <translation>Das Zertifikat wurde abgelehnt</translation>
    </message>
    <message>
        <source>Subject issuer mismatch</source>
        <translation>Inhaber und Aussteller stimmen nicht überein</translation>
    </message>
    <message>
        <source>CA issuer serial mismatch</source>
        <translation>Seriennummer des Ausstellers stimmt nicht überein</translation>
    </message>
    <message>
        <source>No peer certificate</source>
        <translation>Kein Zertifikat der Gegenstelle</translation>
    </message>
    <message>
        <source>Host name mismatch</source>
        <translation>Hostname stimmt nicht überein</translation>
    </message>
    <message>
        <source>No SSL support</source>
        <translation>Keine SSL-Unterstützung</translation>
    </message>
    <message>
        <source>Certificate is blacklisted</source>
        <translation>Das Zertifikat steht auf der Sperrliste</translation>
    </message>
    <message>
        <source>Unspecified error</source>
        <translation>Unbekannter Fehler</translation>
    </message>
    <message>
        <source>All application policies</source>
        <translation>Alle Anwendungsrichtlinien</translation>
    </message>
    <message>
        <source>Proves your identity to a remote computer</source>
        <translation>Weist Ihre Identität gegenüber einem Remotecomputer nach</translation>
    </message>
    <message>
        <source>Ensures the identity of a remote computer</source>
        <translation>Stellt die Identität eines Remotecomputers sicher</translation>
    </message>
    <message>
        <source>Protects e-mail messages</source>
        <translation>Schützt E-Mail-Nachrichten</translation>
    </message>
    <message>
        <source>OCSP signing</source>
        <translation>OCSP-Signatur</translation>
    </message>
    <message>
        <source>Time Stamping</source>
        <translation>Zeitstempel</translation>
    </message>
    <message>
        <source>Digital signature</source>
        <translation>Digitale Signatur</translation>
    </message>
    <message>
        <source>Non repudiation</source>
        <translation>Nichtabstreitbarkeit</translation>
    </message>
    <message>
        <source>Key encipherment</source>
        <translation>Schlüsselverschlüsselung</translation>
    </message>
    <message>
        <source>Data encipherment</source>
        <translation>Datenverschlüsselung</translation>
    </message>
    <message>
        <source>Key agreement</source>
        <translation>Schlüsselvereinbarung</translation>
    </message>
    <message>
        <source>Key certificate sign</source>
        <translation>Zertifikatsignatur</translation>
    </message>
    <message>
        <source>CRL sign</source>
        <translation>CRL-Signatur</translation>
    </message>
    <message>
        <source>Encipher only</source>
        <translation>Nur Verschlüsselung</translation>
    </message>
    <message>
        <source>Decipher only</source>
        <translation>Nur Entschlüsselung</translation>
    </message>
    <message>
        <source>Version</source>
        <translation>Version</translation>
    </message>
    <message>
        <source>Serial Number</source>
        <translation>Seriennummer</translation>
    </message>
    <message>
        <source>Signature Algorithm</source>
        <translation>Signaturalgorithmus</translation>
    </message>
    <message>
        <source>Issuer</source>
        <translation>Aussteller</translation>
    </message>
    <message>
        <source>Valid From</source>
        <translation>Gültig ab</translation>
    </message>
    <message>
        <source>Valid To</source>
        <translation>Gültig bis</translation>
    </message>
    <message>
        <source>Subject</source>
        <translation>Inhaber</translation>
    </message>
    <message>
        <source>Public Key</source>
        <translation>Öffentlicher Schlüssel</translation>
    </message>
    <message>
        <source>Id</source>
        <translation>ID</translation>
    </message>
    <message>
        <source>Field</source>
        <translation>Feld</translation>
    </message>
    <message>
        <source>value</source>
        <translation>Wert</translation>
    </message>
</context>
<context>
    <name>CertificateErrorDialog</name>
    <message>
        <source>Certificate Warning</source>
        <translation>Zertifikatswarnung</translation>
    </message>
    <message>
        <source>Do you want to continue?</source>
        <translation>Möchten Sie fortfahren?</translation>
    </message>
    <message>
        <source>View Certificate...</source>
        <translation>Zertifikat anzeigen...</translation>
    </message>
</context>
<context>
    <name>CertificateViewer</name>
    <message>
        <source>Certificate</source>
        <translation>Zertifikat</translation>
    </message>
    <message>
        <source>General</source>
        <translation>Allgemein</translation>
    </message>
    <message>
        <source>Certificate Information</source>
        <translation>Zertifikatsinformationen</translation>
    </message>
    <message>
        <source>This certificate is intended for the following purpose(s):</source>
        <translation>Dieses Zertifikat ist für folgende Zwecke bestimmt:</translation>
    </message>
    <message>
        <source>Issued to:</source>
        <translation>Ausgestellt für:</translation>
    </message>
    <message>
        <source>Issued By:</source>
        <translation>Ausgestellt von:</translation>
    </message>
    <message>
        <source>Valid from:</source>
        <translation>Gültig ab:</translation>
    </message>
    <message>
        <source>Details</source>
        <translation>Details</translation>
    </message>
    <message>
        <source>Details:</source>
        <translation>Details:</translation>
    </message>
    <message>
        <source>Base64</source>
        <translation>Base64</translation>
    </message>
</context>
</TS>
