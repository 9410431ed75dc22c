#pragma once

// Every TLS peer (an upload's server, the echo page) is verified the same way, host name included, against the
// same authorities: the system's, or those the environment names in SSL_CERT_FILE / SSL_CERT_DIR, which then
// replace them, as OpenSSL's own tools do. Sets that on a libcurl easy handle (a CURL*).
void verifyTlsPeer(void* curl);
