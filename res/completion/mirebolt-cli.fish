# fish completion for mirebolt-cli: its commands, their options, file names, and for -R the
# names of the personal store's certificates.

# The command of the line being completed: the first word that is neither an option nor the
# value of a global option.
function __mirebolt_cli_command
    set -l words (commandline -opc)
    set -e words[1]
    set -l value_follows 0
    for word in $words
        if test $value_follows = 1
            set value_follows 0
            continue
        end
        switch $word
            case --store --password-file
                set value_follows 1
            case '-*'
            case '*'
                echo $word
                return 0
        end
    end
    return 1
end

function __mirebolt_cli_using
    contains -- (__mirebolt_cli_command) $argv
end

# The names -R takes, as `mirebolt-cli store` shows them: each certificate's heading and its
# nickname without the token's name before it. The listing runs without a terminal, so that it
# can never ask for a password in the middle of a command line, and is given up after a few
# seconds (a smart card's module may hang); any failure just offers nothing.
function __mirebolt_cli_store_names
    set -l store
    set -l words (commandline -opc)
    for i in (seq (count $words))
        switch $words[$i]
            case '--store=*'
                set store (string replace -- --store= '' $words[$i])
            case --store
                set -q words[(math $i + 1)]; and set store $words[(math $i + 1)]
        end
    end
    set store (string replace -r -- '^~' $HOME "$store")
    set -l option
    test -n "$store"; and set option --store=$store
    set -l listing (setsid -w timeout 5 mirebolt-cli $option store </dev/null 2>/dev/null)
    string match -r -- '^[^ ].*' $listing
    string replace -rf -- '^  Nickname:  (?:[^:]*:)?' '' $listing
end

complete -c mirebolt-cli -f

# Options every command takes, before or after its name.
complete -c mirebolt-cli -l store -x -a '(__fish_complete_directories)' -d 'Use the NSS database in DIR'
complete -c mirebolt-cli -l yes -d 'Answer Yes when asked whether to overwrite a file'
complete -c mirebolt-cli -l password-file -r -F -d 'Take the store password or PIN from FILE'
complete -c mirebolt-cli -s q -l quiet -d 'Do not print the success text'
complete -c mirebolt-cli -s h -l help -d 'Show the help'
complete -c mirebolt-cli -l version -n "not __mirebolt_cli_command" -d 'Show the version'

complete -c mirebolt-cli -n "not __mirebolt_cli_command" -a encrypt -d 'Encrypt a file for the holders of certificates'
complete -c mirebolt-cli -n "not __mirebolt_cli_command" -a decrypt -d 'Decrypt a file with a private key of the store'
complete -c mirebolt-cli -n "not __mirebolt_cli_command" -a certs -d 'List the certificates of a file'
complete -c mirebolt-cli -n "not __mirebolt_cli_command" -a store -d 'List the certificates of the personal store'
complete -c mirebolt-cli -n "not __mirebolt_cli_command" -a import -d 'Put a PKCS #12 file or certificates into the store'
complete -c mirebolt-cli -n "not __mirebolt_cli_command" -a export -d 'Write your own certificate for others'
complete -c mirebolt-cli -n "not __mirebolt_cli_command" -a info -d 'Describe an encrypted file'
complete -c mirebolt-cli -n "not __mirebolt_cli_command" -a lookup -d 'List the certificates a directory holds for an address'

# Files are the operands of every command but store and export.
complete -c mirebolt-cli -n "__mirebolt_cli_using encrypt decrypt certs import info" -F

complete -c mirebolt-cli -n "__mirebolt_cli_using encrypt" -s r -l recipient -r -F -d 'Encrypt for every certificate the file holds'
complete -c mirebolt-cli -n "__mirebolt_cli_using encrypt export" -s R -l store-recipient -x -a '(__mirebolt_cli_store_names)' -d 'Certificate of the personal store'
complete -c mirebolt-cli -n "__mirebolt_cli_using encrypt decrypt export" -s o -l output -r -F -d 'Write OUTPUT instead'
complete -c mirebolt-cli -n "__mirebolt_cli_using encrypt" -l pem -d 'Write a PEM block instead of DER'
complete -c mirebolt-cli -n "__mirebolt_cli_using encrypt" -l gcm -d 'Use AES-256-GCM (authenticated enveloped data)'
complete -c mirebolt-cli -n "__mirebolt_cli_using encrypt" -l triple-des -d 'Use Triple DES instead of AES-256'
complete -c mirebolt-cli -n "__mirebolt_cli_using encrypt" -l allow-invalid -d 'Encrypt also for an unfit certificate'
complete -c mirebolt-cli -n "__mirebolt_cli_using encrypt certs store info lookup" -l check-revocation -d "Ask each certificate's OCSP responder"
complete -c mirebolt-cli -n "__mirebolt_cli_using certs store info lookup" -l json -d 'Write one JSON document'
complete -c mirebolt-cli -n "__mirebolt_cli_using import" -l p12-password-file -r -F -d "Take the PKCS #12 file's password from FILE"
complete -c mirebolt-cli -n "__mirebolt_cli_using export" -l der -d 'Write DER instead of PEM'
complete -c mirebolt-cli -n "__mirebolt_cli_using encrypt lookup" -l directory -x -d 'The LDAP directory to ask (ldap://HOST[:PORT]/BASE-DN)'
complete -c mirebolt-cli -n "__mirebolt_cli_using encrypt lookup" -l starttls -d 'Make the ldap:// connection private with StartTLS'
complete -c mirebolt-cli -n "__mirebolt_cli_using encrypt lookup" -l bind-dn -x -d 'Bind to the directory as DN'
complete -c mirebolt-cli -n "__mirebolt_cli_using encrypt lookup" -l bind-password-file -r -F -d "Take the bind's password from FILE"
