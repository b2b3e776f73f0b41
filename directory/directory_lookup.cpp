#include "directory/directory_lookup.h"

#include <ldap.h>

#include <algorithm>
#include <memory>

#include "directory/filter_value.h"

namespace mirebolt::directory {

namespace {

struct UnbindConnection {
    void operator()(LDAP* connection) const { ldap_unbind_ext_s(connection, nullptr, nullptr); }
};
using Connection = std::unique_ptr<LDAP, UnbindConnection>;

struct FreeMessage {
    void operator()(LDAPMessage* message) const { ldap_msgfree(message); }
};
using Message = std::unique_ptr<LDAPMessage, FreeMessage>;

struct FreeUrl {
    void operator()(LDAPURLDesc* url) const { ldap_free_urldesc(url); }
};
using Url = std::unique_ptr<LDAPURLDesc, FreeUrl>;

struct FreeValues {
    void operator()(berval** values) const { ldap_value_free_len(values); }
};
using Values = std::unique_ptr<berval*, FreeValues>;

struct FreeText {
    void operator()(char* text) const { ldap_memfree(text); }
};
using LdapText = std::unique_ptr<char, FreeText>;

// The certificate attributes, in the order they are read: the binary transfer Active Directory
// and OpenLDAP give, the plain name some servers answer with instead, and the S/MIME bundle.
constexpr const char* kCertificateAttributes[] = {"userCertificate;binary", "userCertificate",
                                                  "userSMIMECertificate;binary",
                                                  "userSMIMECertificate", nullptr};

Failure DirectoryFailure(const std::string& step, int code, LDAP* connection = nullptr,
                         bool securing = false) {
    // The connection is made at the first step: a server that is not there is no fault of it.
    // A TLS handshake that fails is a connect error too, but one the server did answer.
    if (code == LDAP_CONNECT_ERROR && securing) {
        return Failure{static_cast<std::uint32_t>(-code),
                       "the TLS handshake failed: the server's certificate is not one the "
                       "system's authorities (or LDAPTLS_CACERT) vouch for, or not for this host"};
    }
    if (code == LDAP_SERVER_DOWN || code == LDAP_CONNECT_ERROR) {
        // libldap says no more than this when an ldaps:// handshake fails.
        return Failure{static_cast<std::uint32_t>(-code),
                       std::string("the server cannot be reached") +
                           (securing ? ", or its TLS certificate is not trusted" : "") + " (" +
                           ldap_err2string(code) + ")"};
    }
    if (code == LDAP_TIMEOUT) {
        return Failure{
            static_cast<std::uint32_t>(-code),
            "the server did not answer within " + std::to_string(kTimeoutSeconds) + " seconds"};
    }
    std::string text = step + ": " + ldap_err2string(code);
    if (connection != nullptr) {
        char* detail = nullptr;
        if (ldap_get_option(connection, LDAP_OPT_DIAGNOSTIC_MESSAGE, &detail) == LDAP_OPT_SUCCESS &&
            detail != nullptr) {
            const LdapText owned(detail);
            if (*detail != '\0') {
                text += " (" + std::string(detail) + ")";
            }
        }
    }
    return Failure{static_cast<std::uint32_t>(code < 0 ? -code : code), text, FailureOrigin::Work};
}

struct ParsedAddress {
    std::string serverUri;  // scheme://host:port, as ldap_initialize takes it
    std::string baseDn;
    bool secure = false;  // ldaps://
};

Result<ParsedAddress> ParseAddress(const std::string& address) {
    LDAPURLDesc* parsed = nullptr;
    if (ldap_url_parse(address.c_str(), &parsed) != LDAP_URL_SUCCESS || parsed == nullptr) {
        return Failure{0, "\"" + address +
                              "\" is not a directory address (ldap://HOST[:PORT]/BASE-DN "
                              "or ldaps://HOST[:PORT]/BASE-DN)"};
    }
    const Url url(parsed);
    const std::string scheme = url->lud_scheme != nullptr ? url->lud_scheme : "";
    if (scheme != "ldap" && scheme != "ldaps") {
        return Failure{0, "\"" + address + "\" is neither an ldap:// nor an ldaps:// address"};
    }
    if (url->lud_host == nullptr || *url->lud_host == '\0') {
        return Failure{0, "\"" + address + "\" names no directory server"};
    }
    ParsedAddress result;
    result.secure = scheme == "ldaps";
    std::string host = url->lud_host;
    if (host.find(':') != std::string::npos) {
        host = "[" + host + "]";  // an IPv6 address
    }
    const int port = url->lud_port != 0 ? url->lud_port : (result.secure ? 636 : 389);
    result.serverUri = scheme + "://" + host + ":" + std::to_string(port);
    result.baseDn = url->lud_dn != nullptr ? url->lud_dn : "";
    return result;
}

// Every step of the connection is bounded: connecting, each synchronous operation, and the
// search's own limit on the server.
Result<Connection> Connect(const DirectorySettings& settings, const ParsedAddress& where) {
    LDAP* raw = nullptr;
    const int initialized = ldap_initialize(&raw, where.serverUri.c_str());
    if (initialized != LDAP_SUCCESS || raw == nullptr) {
        return DirectoryFailure("the directory address is not usable", initialized);
    }
    Connection connection(raw);
    const int version = LDAP_VERSION3;
    timeval limit{kTimeoutSeconds, 0};
    if (ldap_set_option(raw, LDAP_OPT_PROTOCOL_VERSION, &version) != LDAP_OPT_SUCCESS ||
        ldap_set_option(raw, LDAP_OPT_NETWORK_TIMEOUT, &limit) != LDAP_OPT_SUCCESS ||
        ldap_set_option(raw, LDAP_OPT_TIMEOUT, &limit) != LDAP_OPT_SUCCESS ||
        ldap_set_option(raw, LDAP_OPT_REFERRALS, LDAP_OPT_OFF) != LDAP_OPT_SUCCESS) {
        return Failure{0, "the directory connection could not be set up"};
    }
    if (settings.startTls) {
        if (where.secure) {
            return Failure{0, "StartTLS is for ldap:// addresses; ldaps:// is private already"};
        }
        if (const int started = ldap_start_tls_s(raw, nullptr, nullptr); started != LDAP_SUCCESS) {
            return DirectoryFailure("StartTLS failed", started, raw, true);
        }
    }
    if (!settings.bindDn.empty()) {
        berval credentials{};
        if (settings.password != nullptr) {
            credentials.bv_val = const_cast<char*>(settings.password->c_str());
            credentials.bv_len = settings.password->size();
        }
        // A simple bind with an empty password is an unauthenticated one that servers accept
        // and that proves nothing: it is refused here instead.
        if (credentials.bv_len == 0) {
            return Failure{0, "the bind as \"" + settings.bindDn + "\" needs a password"};
        }
        const int bound = ldap_sasl_bind_s(raw, settings.bindDn.c_str(), LDAP_SASL_SIMPLE,
                                           &credentials, nullptr, nullptr, nullptr);
        if (bound != LDAP_SUCCESS) {
            return DirectoryFailure("the bind as \"" + settings.bindDn + "\" failed", bound, raw,
                                    where.secure);
        }
    }
    return connection;
}

void AddValue(DirectoryEntry& entry, const berval& value) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(value.bv_val);
    std::vector<std::uint8_t> copy(bytes, bytes + value.bv_len);
    if (!copy.empty() && std::find(entry.certificates.begin(), entry.certificates.end(), copy) ==
                             entry.certificates.end()) {
        entry.certificates.push_back(std::move(copy));
    }
}

DirectoryEntry ReadEntry(LDAP* connection, LDAPMessage* found) {
    DirectoryEntry entry;
    if (const LdapText dn(ldap_get_dn(connection, found)); dn) {
        entry.dn = dn.get();
    }
    for (const char* const* attribute = kCertificateAttributes; *attribute != nullptr;
         ++attribute) {
        const Values values(ldap_get_values_len(connection, found, *attribute));
        if (!values) {
            continue;
        }
        for (berval** value = values.get(); *value != nullptr; ++value) {
            AddValue(entry, **value);
        }
    }
    return entry;
}

}  // namespace

Result<std::vector<DirectoryEntry>> LookUpAddress(const DirectorySettings& settings,
                                                  const std::string& emailAddress) {
    ASSIGN_OR_RETURN(const ParsedAddress where, ParseAddress(settings.address));
    ASSIGN_OR_RETURN(const Connection connection, Connect(settings, where));
    const std::string value = EscapedFilterValue(emailAddress);
    const std::string filter =
        "(|(mail=" + value + ")(userPrincipalName=" + value + ")(cn=" + value + "))";
    timeval limit{kTimeoutSeconds, 0};
    LDAPMessage* raw = nullptr;
    const int searched =
        ldap_search_ext_s(connection.get(), where.baseDn.c_str(), LDAP_SCOPE_SUBTREE,
                          filter.c_str(), const_cast<char**>(kCertificateAttributes), 0, nullptr,
                          nullptr, &limit, kMostEntries, &raw);
    const Message results(raw);
    // What arrived before a size limit was reached still counts.
    if (searched != LDAP_SUCCESS && searched != LDAP_SIZELIMIT_EXCEEDED) {
        return DirectoryFailure("the search under \"" + where.baseDn + "\" failed", searched,
                                connection.get(), where.secure);
    }
    std::vector<DirectoryEntry> entries;
    for (LDAPMessage* found = ldap_first_entry(connection.get(), results.get()); found != nullptr;
         found = ldap_next_entry(connection.get(), found)) {
        entries.push_back(ReadEntry(connection.get(), found));
    }
    return entries;
}

}  // namespace mirebolt::directory
