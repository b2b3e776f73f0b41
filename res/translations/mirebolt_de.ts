<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>Mirebolt</name>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Subject:</source>
        <translation>Inhaber:</translation>
    </message>
    <message>
        <source>Issuer:</source>
        <translation>Aussteller:</translation>
    </message>
    <message>
        <source>Serial number:</source>
        <translation>Seriennummer:</translation>
    </message>
    <message>
        <source>Valid from:</source>
        <translation>Gültig von:</translation>
    </message>
    <message>
        <source>Key usage:</source>
        <translation>Schlüsselverwendung:</translation>
    </message>
    <message>
        <source>SHA-256:</source>
        <translation>SHA-256:</translation>
    </message>
    <message>
        <source>%1 to %2 (UTC)</source>
        <translation>%1 bis %2 (UTC)</translation>
    </message>
    <message>
        <source>any</source>
        <translation>beliebig</translation>
    </message>
    <message>
        <source>Yours</source>
        <translation>Ihres</translation>
    </message>
    <message>
        <source>Yours, on %1</source>
        <translation>Ihres, auf %1</translation>
    </message>
    <message>
        <source>Select Certificate</source>
        <translation>Zertifikat auswählen</translation>
    </message>
    <message>
        <source>Certificates</source>
        <translation>Zertifikate</translation>
    </message>
    <message>
        <source>Issued To</source>
        <translation>Ausgestellt für</translation>
    </message>
    <message>
        <source>Issued By</source>
        <translation>Ausgestellt von</translation>
    </message>
    <message>
        <source>Expiration Date</source>
        <translation>Ablaufdatum</translation>
    </message>
    <message>
        <source>Private Key</source>
        <translation>Privater Schlüssel</translation>
    </message>
    <message>
        <source>Key Type</source>
        <translation>Schlüsseltyp</translation>
    </message>
    <message>
        <source>Note</source>
        <translation>Hinweis</translation>
    </message>
    <message>
        <source>You hold the private key of this certificate</source>
        <translation>Sie besitzen den privaten Schlüssel dieses Zertifikats</translation>
    </message>
    <message>
        <source>Certificate details</source>
        <translation>Zertifikatdetails</translation>
    </message>
    <message>
        <source>Select a certificate to see its details.</source>
        <translation>Wählen Sie ein Zertifikat, um seine Details zu sehen.</translation>
    </message>
    <message>
        <source>File: </source>
        <translation>Datei: </translation>
    </message>
    <message>
        <source>File to encrypt or decrypt</source>
        <translation>Zu ver- oder entschlüsselnde Datei</translation>
    </message>
    <message>
        <source>Browser</source>
        <translation>Suchen …</translation>
    </message>
    <message>
        <source>Choose the file to encrypt or decrypt</source>
        <translation>Die zu ver- oder entschlüsselnde Datei wählen</translation>
    </message>
    <message>
        <source>Recipients Certificates (for encryption only):</source>
        <translation>Zertifikate der Empfänger (nur zum Verschlüsseln):</translation>
    </message>
    <message>
        <source>Add recipient</source>
        <translation>Empfänger hinzufügen</translation>
    </message>
    <message>
        <source>Add a certificate from a file or from your certificate store</source>
        <translation>Ein Zertifikat aus einer Datei oder aus Ihrem Zertifikatspeicher hinzufügen</translation>
    </message>
    <message>
        <source>Remove recipient</source>
        <translation>Empfänger entfernen</translation>
    </message>
    <message>
        <source>Remove the selected certificate from the list</source>
        <translation>Das ausgewählte Zertifikat von der Liste entfernen</translation>
    </message>
    <message>
        <source>Open the maker&apos;s web site</source>
        <translation>Die Website des Herstellers öffnen</translation>
    </message>
    <message>
        <source>Encrypt</source>
        <translation>Verschlüsseln</translation>
    </message>
    <message>
        <source>Encrypt the file for every recipient on the list</source>
        <translation>Die Datei für jeden Empfänger auf der Liste verschlüsseln</translation>
    </message>
    <message>
        <source>Decrypt</source>
        <translation>Entschlüsseln</translation>
    </message>
    <message>
        <source>Decrypt the file with a key of your own</source>
        <translation>Die Datei mit einem eigenen Schlüssel entschlüsseln</translation>
    </message>
    <message>
        <source>Recipients</source>
        <translation>Empfänger</translation>
    </message>
    <message>
        <source>The certificates a file is encrypted for</source>
        <translation>Die Zertifikate, für die eine Datei verschlüsselt wird</translation>
    </message>
    <message>
        <source>Use legacy Triple DES algorithm for encryption instead of AES</source>
        <translation>Zum Verschlüsseln das alte Triple DES statt AES verwenden</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>%1Enter the password or PIN for &quot;%2&quot;:</source>
        <translation>%1Geben Sie das Passwort oder die PIN für „%2“ ein:</translation>
    </message>
    <message>
        <source>The password or PIN was not accepted.
</source>
        <translation>Das Passwort oder die PIN wurde nicht angenommen.
</translation>
    </message>
    <message>
        <source>Password Required</source>
        <translation>Passwort erforderlich</translation>
    </message>
    <message>
        <source>Action</source>
        <translation>Aktion</translation>
    </message>
    <message>
        <source>Add From File</source>
        <translation>Aus Datei hinzufügen</translation>
    </message>
    <message>
        <source>Add From Certificate Store</source>
        <translation>Aus dem Zertifikatspeicher hinzufügen</translation>
    </message>
    <message>
        <source>Expiration Data</source>
        <translation>Ablaufdatum</translation>
    </message>
    <message>
        <source>Failed to open the select file for reading</source>
        <translation>Die ausgewählte Datei konnte nicht zum Lesen geöffnet werden</translation>
    </message>
    <message>
        <source>The selected file is empty</source>
        <translation>Die ausgewählte Datei ist leer</translation>
    </message>
    <message>
        <source>Please select a file to encrypt</source>
        <translation>Bitte wählen Sie eine Datei zum Verschlüsseln aus</translation>
    </message>
    <message>
        <source>No encryption certificates added to the recipients list.
Please use the &quot;+&quot; button to add at least one certificate</source>
        <translation>Der Empfängerliste wurden keine Verschlüsselungszertifikate hinzugefügt.
Bitte fügen Sie mit der Schaltfläche „+“ mindestens ein Zertifikat hinzu</translation>
    </message>
    <message>
        <source>The encrypted file already exists. Do you want to overwrite it?</source>
        <translation>Die verschlüsselte Datei existiert bereits. Möchten Sie sie überschreiben?</translation>
    </message>
    <message>
        <source>Already Exists</source>
        <translation>Bereits vorhanden</translation>
    </message>
    <message>
        <source>The file is too big for encryption by this program</source>
        <translation>Die Datei ist zu groß, um von diesem Programm verschlüsselt zu werden</translation>
    </message>
    <message>
        <source>The location of the selected file is not writable. Encryption can not proceed</source>
        <translation>Am Ort der ausgewählten Datei kann nicht geschrieben werden. Die Verschlüsselung kann nicht fortgesetzt werden</translation>
    </message>
    <message>
        <source>Failed to allocate memory needed for the encryption process</source>
        <translation>Der für die Verschlüsselung nötige Speicher konnte nicht belegt werden</translation>
    </message>
    <message>
        <source>An error occured while encryption the file</source>
        <translation>Beim Verschlüsseln der Datei ist ein Fehler aufgetreten</translation>
    </message>
    <message>
        <source>Failed to write encrypted data to disk. Please ensure that the location of selected file is writable</source>
        <translation>Die verschlüsselten Daten konnten nicht gespeichert werden. Bitte stellen Sie sicher, dass am Ort der ausgewählten Datei geschrieben werden kann</translation>
    </message>
    <message>
        <source>File encrypted successfully.
Encrypted data written to </source>
        <translation>Die Datei wurde verschlüsselt.
Verschlüsselte Daten gespeichert in </translation>
    </message>
    <message>
        <source>Please select a file to decrypt</source>
        <translation>Bitte wählen Sie eine Datei zum Entschlüsseln aus</translation>
    </message>
    <message>
        <source>The file is too big for decryption by this program</source>
        <translation>Die Datei ist zu groß, um von diesem Programm entschlüsselt zu werden</translation>
    </message>
    <message>
        <source>The decrypted file already exists.
Do you want to overwrite it?</source>
        <translation>Die entschlüsselte Datei existiert bereits.
Möchten Sie sie überschreiben?</translation>
    </message>
    <message>
        <source>Overwrite?</source>
        <translation>Überschreiben?</translation>
    </message>
    <message>
        <source>Failed to write data to disk. Please ensure that the location of selected file is writable</source>
        <translation>Die Daten konnten nicht gespeichert werden. Bitte stellen Sie sicher, dass am Ort der ausgewählten Datei geschrieben werden kann</translation>
    </message>
    <message>
        <source>Failed to open the system certificate store</source>
        <translation>Der Zertifikatspeicher des Systems konnte nicht geöffnet werden</translation>
    </message>
    <message>
        <source>Failed to allocate memory needed for the decryption process</source>
        <translation>Der für die Entschlüsselung nötige Speicher konnte nicht belegt werden</translation>
    </message>
    <message>
        <source>Failed to decrypt the selected file</source>
        <translation>Die ausgewählte Datei konnte nicht entschlüsselt werden</translation>
    </message>
    <message>
        <source>Failed to write decrypted data to disk. Please ensure that the location of selected file is writable</source>
        <translation>Die entschlüsselten Daten konnten nicht gespeichert werden. Bitte stellen Sie sicher, dass am Ort der ausgewählten Datei geschrieben werden kann</translation>
    </message>
    <message>
        <source>File decrypted successfully.
Decrypted data written to </source>
        <translation>Die Datei wurde entschlüsselt.
Entschlüsselte Daten gespeichert in </translation>
    </message>
    <message>
        <source>The certificate is already present on the list</source>
        <translation>Das Zertifikat ist bereits auf der Liste</translation>
    </message>
    <message>
        <source>No certificate could be found on the selected file</source>
        <translation>In der ausgewählten Datei wurde kein Zertifikat gefunden</translation>
    </message>
    <message>
        <source>Select a certificate to add to the recipients list for encryption</source>
        <translation>Wählen Sie ein Zertifikat, das zum Verschlüsseln in die Empfängerliste aufgenommen werden soll</translation>
    </message>
    <message>
        <source>Revoked</source>
        <translation>Widerrufen</translation>
    </message>
    <message>
        <source>Expired </source>
        <translation>Abgelaufen am </translation>
    </message>
    <message>
        <source>Not valid before </source>
        <translation>Nicht gültig vor </translation>
    </message>
    <message>
        <source>Signing only</source>
        <translation>Nur zum Signieren</translation>
    </message>
    <message>
        <source>A certificate authority&apos;s certificate</source>
        <translation>Zertifikat einer Zertifizierungsstelle</translation>
    </message>
    <message>
        <source>Not trusted</source>
        <translation>Nicht vertrauenswürdig</translation>
    </message>
    <message>
        <source>Not meant for e-mail</source>
        <translation>Nicht für E-Mail bestimmt</translation>
    </message>
    <message>
        <source>Revocation could not be checked</source>
        <translation>Widerruf konnte nicht geprüft werden</translation>
    </message>
    <message>
        <source>No certificate selected on the list</source>
        <translation>Auf der Liste ist kein Zertifikat ausgewählt</translation>
    </message>
    <message>
        <source>The file holds more than %1 certificates: the first %1 were taken and %2 more were skipped</source>
        <translation>Die Datei enthält mehr als %1 Zertifikate: Die ersten %1 wurden übernommen, %2 weitere übersprungen</translation>
    </message>
    <message>
        <source>All files (*.*)</source>
        <translation>Alle Dateien (*.*)</translation>
    </message>
    <message>
        <source>Certificate File (*.cer;*.crt;*.der;*.pem)</source>
        <translation>Zertifikatdatei (*.cer;*.crt;*.der;*.pem)</translation>
    </message>
    <message>
        <source>Filter</source>
        <translation>Filtern</translation>
    </message>
    <message>
        <source>Filter the certificates</source>
        <translation>Die Zertifikate filtern</translation>
    </message>
    <message>
        <source>Shows only the certificates with this text in one of their columns</source>
        <translation>Zeigt nur die Zertifikate, die diesen Text in einer ihrer Spalten haben</translation>
    </message>
    <message>
        <source>Error </source>
        <translation>Fehler </translation>
    </message>
</context>
</TS>
