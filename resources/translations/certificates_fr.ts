<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR">
<context>
    <name>QObject</name>
    <message>
        <source> - Certificate Warning</source>
        <translation> - Avertissement de certificat</translation>
    </message>
    <message>
        <source>Identity of site %1 cannot be verified due to following reason(s):</source>
        <translation>L'identité du site %1 ne peut pas être vérifiée pour les raisons suivantes :</translation>
    </message>
    <message>
        <source>No Error</source>
        <translation>Aucune erreur</translation>
    </message>
    <message>
        <source>Issuer not found</source>
        <translation>Émetteur introuvable</translation>
    </message>
    <message>
        <source>Subject signature decryption failed</source>
        <translation>Échec du déchiffrement de la signature du sujet</translation>
    </message>
    <message>
        <source>Issuer public key decoding failed</source>
        <translation>Échec du décodage de la clé publique de l'émetteur</translation>
    </message>
    <message>
        <source>Subject signature verification failed</source>
        <translation>Échec de la vérification de la signature du sujet</translation>
    </message>
    <message>
        <source>Subject certificate is Not yet valid</source>
        <translation>Le certificat du sujet n'est pas encore valide</translation>
    </message>
    <message>
        <source>Subject certificate is expired</source>
        <translation>Le certificat du sujet a expiré</translation>
    </message>
    <message>
        <source>Subject Not before field is invalid</source>
        <translation>Le champ « Pas avant » du sujet n'est pas valide</translation>
    </message>
    <message>
        <source>Subject Not after field is invalid</source>
        <translation>Le champ « Pas après » du sujet n'est pas valide</translation>
    </message>
    <message>
        <source>Subject certificate is self signed</source>
        <translation>Le certificat du sujet est auto-signé</translation>
    </message>
    <message>
        <source>Root CA certificate is untrusted</source>
        <translation>Le certificat de l'autorité racine n'est pas approuvé</translation>
    </message>
    <message>
        <source>Unable to get local issuer certificate</source>
        <translation>Impossible d'obtenir le certificat de l'émetteur local</translation>
    </message>
    <message>
        <source>Unable to verify first certificate in chain</source>
        <translation>Impossible de vérifier le premier certificat de la chaîne</translation>
    </message>
    <message>
        <source>Subject certificate is Revoked</source>
        <translation>Le certificat du sujet est révoqué</translation>
    </message>
    <message>
        <source>Invalid CA certificate</source>
        <translation>Certificat d'autorité non valide</translation>
    </message>
    <message>
        <source>Path length exceeded</source>
        <translation>Longueur de chemin dépassée</translation>
    </message>
    <message>
        <source>Invalid purpose</source>
        <translation>Usage non valide</translation>
    </message>
    <message>
        <source>Certificate is untrusted</source>
        <translation>Le certificat n'est pas approuvé</translation>
    </message>
    <message>
        <source>Certificate is rejected</source>
        <translation>Le certificat est rejeté</translation>
    </message>
    <message>
        <source>Subject issuer mismatch</source>
        <translation>Le sujet et l'émetteur ne correspondent pas</translation>
    </message>
    <message>
        <source>CA issuer serial mismatch</source>
        <translation>Le numéro de série de l'émetteur de l'autorité ne correspond pas</translation>
    </message>
    <message>
        <source>No peer certificate</source>
        <translation>Aucun certificat du pair</translation>
    </message>
    <message>
        <source>Host name mismatch</source>
        <translation>Le nom d'hôte ne correspond pas</translation>
    </message>
    <message>
        <source>No SSL support</source>
        <translation>Aucune prise en charge de SSL</translation>
    </message>
    <message>
        <source>Certificate is blacklisted</source>
        <translation>Le certificat est sur liste noire</translation>
    </message>
    <message>
        <source>Unspecified error</source>
        <translation>Erreur non spécifiée</translation>
    </message>
    <message>
        <source>All application policies</source>
        <translation>Toutes les stratégies d'application</translation>
    </message>
    <message>
        <source>Proves your identity to a remote computer</source>
        <translation>Prouve votre identité auprès d'un ordinateur distant</translation>
    </message>
    <message>
        <source>Ensures the identity of a remote computer</source>
        <translation>Garantit l'identité d'un ordinateur distant</translation>
    </message>
    <message>
        <source>Protects e-mail messages</source>
        <translation>Protège les messages électroniques</translation>
    </message>
    <message>
        <source>OCSP signing</source>
        <translation>Signature OCSP</translation>
    </message>
    <message>
        <source>Time Stamping</source>
        <translation>Horodatage</translation>
    </message>
    <message>
        <source>Digital signature</source>
        <translation>Signature numérique</translation>
    </message>
    <message>
        <source>Non repudiation</source>
        <translation>Non-répudiation</translation>
    </message>
    <message>
        <source>Key encipherment</source>
        <translation>Chiffrement de clé</translation>
    </message>
    <message>
        <source>Data encipherment</source>
        <translation>Chiffrement de données</translation>
    </message>
    <message>
        <source>Key agreement</source>
        <translation>Accord de clé</translation>
    </message>
    <message>
        <source>Key certificate sign</source>
        <translation>Signature de certificat</translation>
    </message>
    <message>
        <source>CRL sign</source>
        <translation>Signature de liste de révocation</translation>
    </message>
    <message>
        <source>Encipher only</source>
        <translation>Chiffrement uniquement</translation>
    </message>
    <message>
        <source>Decipher only</source>
        <translation>Déchiffrement uniquement</translation>
    </message>
    <message>
        <source>Version</source>
        <translation>Version</translation>
    </message>
    <message>
        <source>Serial Number</source>
        <translation>Numéro de série</translation>
    </message>
    <message>
        <source>Signature Algorithm</source>
        <translation>Algorithme de signature</translation>
    </message>
    <message>
        <source>Issuer</source>
        <translation>Émetteur</translation>
    </message>
    <message>
        <source>Valid From</source>
        <translation>Valide à partir du</translation>
    </message>
    <message>
        <source>Valid To</source>
        <translation>Valide jusqu'au</translation>
    </message>
    <message>
        <source>Subject</source>
        <translation>Sujet</translation>
    </message>
    <message>
        <source>Public Key</source>
        <translation>Clé publique</translation>
    </message>
    <message>
        <source>Id</source>
        <translation>Id</translation>
    </message>
    <message>
        <source>Field</source>
        <translation>Champ</translation>
    </message>
    <message>
        <source>value</source>
        <translation>valeur</translation>
    </message>
</context>
<context>
    <name>CertificateErrorDialog</name>
    <message>
        <source>Certificate Warning</source>
        <translation>Avertissement de certificat</translation>
    </message>
    <message>
        <source>Do you want to continue?</source>
        <translation>Voulez-vous continuer ?</translation>
    </message>
    <message>
        <source>View Certificate...</source>
        <translation>Afficher le certificat...</translation>
    </message>
</context>
<context>
    <name>CertificateViewer</name>
    <message>
        <source>Certificate</source>
        <translation>Certificat</translation>
    </message>
    <message>
        <source>General</source>
        <translation>Général</translation>
    </message>
    <message>
        <source>Certificate Information</source>
        <translation>Informations sur le certificat</translation>
    </message>
    <message>
        <source>This certificate is intended for the following purpose(s):</source>
        <translation>Ce certificat est destiné aux usages suivants :</translation>
    </message>
    <message>
        <source>Issued to:</source>
        <translation>Délivré à :</translation>
    </message>
    <message>
        <source>Issued By:</source>
        <translation>Délivré par :</translation>
    </message>
    <message>
        <source>Valid from:</source>
        <translation>Valide à partir du :</translation>
    </message>
    <message>
        <source>Details</source>
        <translation>Détails</translation>
    </message>
    <message>
        <source>Details:</source>
        <translation>Détails :</translation>
    </message>
    <message>
        <source>Base64</source>
        <translation>Base64</translation>
    </message>
</context>
</TS>
