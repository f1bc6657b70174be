#include "TestCertificates.h"

#include <cstdlib>
#include <fstream>

namespace orvex::test {

TestCertificates::TestCertificates(const std::string& dir) : dir_(dir) {
    ok_ = MakeCa("ca") && MakeCa("stranger-ca") &&
          MakeLeaf("server", "ca", "DNS:localhost,IP:127.0.0.1,IP:::1", 30) &&
          MakeLeaf("other", "ca", "DNS:elsewhere.invalid", 30) &&
          MakeLeaf("expired", "ca", "DNS:localhost,IP:127.0.0.1,IP:::1", -1) &&
          MakeLeaf("stranger", "stranger-ca", "DNS:localhost,IP:127.0.0.1,IP:::1", 30);
}

bool TestCertificates::Run(const std::string& command) {
    const std::string line = "cd '" + dir_ + "' && " + command + " >>openssl.log 2>&1";
    if (std::system(line.c_str()) != 0) {
        error_ = "failed: " + command;
        return false;
    }
    return true;
}

bool TestCertificates::MakeCa(const std::string& name) {
    return Run(
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
        " -keyout " +
        name + ".key -out " + name + ".pem -days 30 -subj '/CN=Orvex test " + name +
        "' -addext basicConstraints=critical,CA:TRUE"
        " -addext keyUsage=critical,keyCertSign,cRLSign");
}

// A negative number of days makes a certificate that has already expired.
bool TestCertificates::MakeLeaf(const std::string& name, const std::string& ca,
                                const std::string& names, int days) {
    {
        std::ofstream ext(dir_ + "/" + name + ".ext");
        ext << "subjectAltName=" << names << "\n"
            << "basicConstraints=CA:FALSE\n"
            << "extendedKeyUsage=serverAuth\n";
    }
    return Run("openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout " +
               name + ".key -out " + name + ".csr -subj /CN=" + name) &&
           Run("openssl x509 -req -in " + name + ".csr -CA " + ca + ".pem -CAkey " + ca +
               ".key -CAcreateserial -out " + name + ".pem -days " + std::to_string(days) +
               " -extfile " + name + ".ext");
}

}  // namespace orvex::test
