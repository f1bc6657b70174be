#pragma once

#include <string>

namespace orvex::test {

// Certificates made for one test with the openssl command in a directory of its own: a
// throwaway CA and leaf certificates it signed, all PEM, keys unencrypted.
//   CaFile()        the CA that tests trust (TLSCAFile)
//   Leaf("server")  localhost and 127.0.0.1, valid now
//   Leaf("other")   a certificate for another name only ("elsewhere.invalid")
//   Leaf("expired") localhost and 127.0.0.1, expired yesterday
//   Leaf("stranger") localhost and 127.0.0.1, signed by a second CA nobody trusts
// Each leaf has "<dir>/<name>.pem" (certificate) and "<dir>/<name>.key".
class TestCertificates {
public:
    // Makes everything in `dir` (which must exist). Ok() tells whether openssl succeeded.
    explicit TestCertificates(const std::string& dir);

    bool Ok() const { return ok_; }
    const std::string& Error() const { return error_; }
    std::string CaFile() const { return dir_ + "/ca.pem"; }
    std::string CertFile(const std::string& leaf) const { return dir_ + "/" + leaf + ".pem"; }
    std::string KeyFile(const std::string& leaf) const { return dir_ + "/" + leaf + ".key"; }

private:
    bool Run(const std::string& command);
    bool MakeCa(const std::string& name);
    bool MakeLeaf(const std::string& name, const std::string& ca, const std::string& names,
                  int days);

    std::string dir_;
    bool ok_ = false;
    std::string error_;
};

}  // namespace orvex::test
