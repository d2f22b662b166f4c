#pragma once

namespace corvantis::scan {

// Adds the certificate authorities of the PEM file named by CORVANTIS_TEST_CA_FILE
// to the ones every TLS connection of the process trusts, once; without the
// variable it does nothing. Tests use it to reach local servers whose
// certificates a local authority signed, without touching the system's store.
void UseTestCertificateAuthorities();

} // namespace corvantis::scan
