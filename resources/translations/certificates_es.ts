<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es_ES">
<context>
    <name>QObject</name>
    <message>
        <source> - Certificate Warning</source>
        <translation> - Advertencia de certificado</translation>
    </message>
    <message>
        <source>Identity of site %1 cannot be verified due to following reason(s):</source>
        <translation>No se puede verificar la identidad del sitio %1 por los siguientes motivos:</translation>
    </message>
    <message>
        <source>No Error</source>
        <translation>Sin errores</translation>
    </message>
    <message>
        <source>Issuer not found</source>
        <translation>No se encontró el emisor</translation>
    </message>
    <message>
        <source>Subject signature decryption failed</source>
        <translation>Error al descifrar la firma del sujeto</translation>
    </message>
    <message>
        <source>Issuer public key decoding failed</source>
        <translation>Error al descodificar la clave pública del emisor</translation>
    </message>
    <message>
        <source>Subject signature verification failed</source>
        <translation>Error al verificar la firma del sujeto</translation>
    </message>
    <message>
        <source>Subject certificate is Not yet valid</source>
        <translation>El certificado del sujeto aún no es válido</translation>
    </message>
    <message>
        <source>Subject certificate is expired</source>
        <translation>El certificado del sujeto ha caducado</translation>
    </message>
    <message>
        <source>Subject Not before field is invalid</source>
        <translation>El campo «No antes de» del sujeto no es válido</translation>
    </message>
    <message>
        <source>Subject Not after field is invalid</source>
        <translation>El campo «No después de» del sujeto no es válido</translation>
    </message>
    <message>
        <source>Subject certificate is self signed</source>
        <translation>El certificado del sujeto está autofirmado</translation>
    </message>
    <message>
        <source>Root CA certificate is untrusted</source>
        <translation>El certificado de la CA raíz no es de confianza</translation>
    </message>
    <message>
        <source>Unable to get local issuer certificate</source>
        <translation>No se puede obtener el certificado del emisor local</translation>
    </message>
    <message>
        <source>Unable to verify first certificate in chain</source>
        <translation>No se puede verificar el primer certificado de la cadena</translation>
    </message>
    <message>
        <source>Subject certificate is Revoked</source>
        <translation>El certificado del sujeto está revocado</translation>
    </message>
    <message>
        <source>Invalid CA certificate</source>
        <translation>Certificado de CA no válido</translation>
    </message>
    <message>
        <source>Path length exceeded</source>
        <translation>Se superó la longitud de la ruta</translation>
    </message>
    <message>
        <source>Invalid purpose</source>
        <translation>Propósito no válido</translation>
    </message>
    <message>
        <source>Certificate is untrusted</source>
        <translation>El certificado no es de confianza</translation>
    </message>
    <message>
        <source>Certificate is rejected</source>
        <translation>El certificado se ha rechazado</translation>
    </message>
    <message>
        <source>Subject issuer mismatch</source>
        <translation>El sujeto y el emisor no coinciden</translation>
    </message>
    <message>
        <source>CA issuer serial mismatch</source>
        <translation>El número de serie del emisor de la CA no coincide</translation>
    </message>
    <message>
        <source>No peer certificate</source>
        <translation>No hay certificado del interlocutor</translation>
    </message>
    <message>
        <source>Host name mismatch</source>
        <translation>El nombre de host no coincide</translation>
    </message>
    <message>
        <source>No SSL support</source>
        <translation>No hay compatibilidad con SSL</translation>
    </message>
    <message>
        <source>Certificate is blacklisted</source>
        <translation>El certificado está en la lista negra</translation>
    </message>
    <message>
        <source>Unspecified error</source>
        <translation>Error no especificado</translation>
    </message>
    <message>
        <source>All application policies</source>
        <translation>Todas las directivas de aplicación</translation>
    </message>
    <message>
        <source>Proves your identity to a remote computer</source>
        <translation>Demuestra su identidad a un equipo remoto</translation>
    </message>
    <message>
        <source>Ensures the identity of a remote computer</source>
        <translation>Garantiza la identidad de un equipo remoto</translation>
    </message>
    <message>
        <source>Protects e-mail messages</source>
        <translation>Protege los mensajes de correo electrónico</translation>
    </message>
    <message>
        <source>OCSP signing</source>
        <translation>Firma OCSP</translation>
    </message>
    <message>
        <source>Time Stamping</source>
        <translation>Marca de tiempo</translation>
    </message>
    <message>
        <source>Digital signature</source>
        <translation>Firma digital</translation>
    </message>
    <message>
        <source>Non repudiation</source>
        <translation>No repudio</translation>
    </message>
    <message>
        <source>Key encipherment</source>
        <translation>Cifrado de clave</translation>
    </message>
    <message>
        <source>Data encipherment</source>
        <translation>Cifrado de datos</translation>
    </message>
    <message>
        <source>Key agreement</source>
        <translation>Acuerdo de claves</translation>
    </message>
    <message>
        <source>Key certificate sign</source>
        <translation>Firma de certificados</translation>
    </message>
    <message>
        <source>CRL sign</source>
        <translation>Firma de CRL</translation>
    </message>
    <message>
        <source>Encipher only</source>
        <translation>Solo cifrado</translation>
    </message>
    <message>
        <source>Decipher only</source>
        <translation>Solo descifrado</translation>
    </message>
    <message>
        <source>Version</source>
        <translation>Versión</translation>
    </message>
    <message>
        <source>Serial Number</source>
        <translation>Número de serie</translation>
    </message>
    <message>
        <source>Signature Algorithm</source>
        <translation>Algoritmo de firma</translation>
    </message>
    <message>
        <source>Issuer</source>
        <translation>Emisor</translation>
    </message>
    <message>
        <source>Valid From</source>
        <translation>Válido desde</translation>
    </message>
    <message>
        <source>Valid To</source>
        <translation>Válido hasta</translation>
    </message>
    <message>
        <source>Subject</source>
        <translation>Sujeto</translation>
    </message>
    <message>
        <source>Public Key</source>
        <translation>Clave pública</translation>
    </message>
    <message>
        <source>Id</source>
        <translation>Id</translation>
    </message>
    <message>
        <source>Field</source>
        <translation>Campo</translation>
    </message>
    <message>
        <source>value</source>
        <translation>valor</translation>
    </message>
</context>
<context>
    <name>CertificateErrorDialog</name>
    <message>
        <source>Certificate Warning</source>
        <translation>Advertencia de certificado</translation>
    </message>
    <message>
        <source>Do you want to continue?</source>
        <translation>¿Desea continuar?</translation>
    </message>
    <message>
        <source>View Certificate...</source>
        <translation>Ver certificado...</translation>
    </message>
</context>
<context>
    <name>CertificateViewer</name>
    <message>
        <source>Certificate</source>
        <translation>Certificado</translation>
    </message>
    <message>
        <source>General</source>
        <translation>General</translation>
    </message>
    <message>
        <source>Certificate Information</source>
        <translation>Información del certificado</translation>
    </message>
    <message>
        <source>This certificate is intended for the following purpose(s):</source>
        <translation>Este certificado está destinado a los siguientes propósitos:</translation>
    </message>
    <message>
        <source>Issued to:</source>
        <translation>Emitido para:</translation>
    </message>
    <message>
        <source>Issued By:</source>
        <translation>Emitido por:</translation>
    </message>
    <message>
        <source>Valid from:</source>
        <translation>Válido desde:</translation>
    </message>
    <message>
        <source>Details</source>
        <translation>Detalles</translation>
    </message>
    <message>
        <source>Details:</source>
        <translation>Detalles:</translation>
    </message>
    <message>
        <source>Base64</source>
        <translation>Base64</translation>
    </message>
</context>
</TS>
