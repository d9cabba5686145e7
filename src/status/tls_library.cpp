#include "status/tls_library.h"

#include <cstdint>

// The runtime's header brings OpenSSL's, after the Windows headers they
// must follow.
#include "stdsoap2.h"

void PrepareTlsLibrary(bool useTls) {
#if defined(WITH_OPENSSL)
    // The runtime would initialise the library itself, with its defaults,
    // and seed its random generator from /dev/urandom at every start, HTTP
    // jobs included; OpenSSL 3 seeds itself from the system when it needs to.
    soap_ssl_noinit();
    // Each choice holds for the process once it is made, and every later
    // call (from the runtime or from inside the library) finds it made:
    // - no configuration: the library would otherwise read openssl.cnf from
    //   a compiled-in folder or from OPENSSL_CONF, and such a file can load
    //   a provider module or lower the TLS policy;
    // - no clean-up at exit, which would free the library's memory just
    //   before the process ends anyway;
    // - none of the crypto library's error texts: only those of the TLS
    //   routines reach the console, in the runtime's description of a
    //   failed handshake (its soap_ssl_error), and the certificate checks'
    //   reasons need no table. An HTTP job loads no text at all, though the
    //   runtime clears the error queue whenever a context ends.
    uint64_t options = OPENSSL_INIT_NO_LOAD_CONFIG | OPENSSL_INIT_NO_ATEXIT | OPENSSL_INIT_NO_LOAD_CRYPTO_STRINGS;
    if (useTls) {
        OPENSSL_init_ssl(options | OPENSSL_INIT_LOAD_SSL_STRINGS, nullptr);
    } else {
        OPENSSL_init_crypto(options, nullptr);
    }
#else
    (void)useTls;
#endif
}
