#include "DdnsTestSupport.h"

#include <sstream>

namespace orvex::test {

namespace {

// The value of a string field of one JSON line the service wrote (its values never hold a
// quote, as the requests of these tests carry none).
std::string Field(const std::string& line, const std::string& name) {
    const std::string key = "\"" + name + "\": \"";
    const size_t start = line.find(key);
    if (start == std::string::npos) {
        return "";
    }
    const size_t from = start + key.size();
    const size_t end = line.find('"', from);
    return line.substr(from, end - from);
}

}  // namespace

UpdateService::UpdateService(const std::vector<std::string>& answers, double delaySeconds,
                             int status, const std::vector<std::string>& headers)
    : record_(dir_.File("requests.jsonl")),
      server_(kPython, Arguments(record_, answers, delaySeconds, status, headers)) {}

std::vector<std::string> UpdateService::Arguments(const std::string& record,
                                                  const std::vector<std::string>& answers,
                                                  double delaySeconds, int status,
                                                  const std::vector<std::string>& headers) {
    std::vector<std::string> args{PeerScript("dyndns2_server.py"),
                                  "--record",
                                  record,
                                  "--delay",
                                  std::to_string(delaySeconds),
                                  "--status",
                                  std::to_string(status)};
    for (const std::string& answer : answers) {
        args.push_back("--answer");
        args.push_back(answer);
    }
    for (const std::string& header : headers) {
        args.push_back("--header");
        args.push_back(header);
    }
    return args;
}

std::vector<UpdateService::Request> UpdateService::Requests() const {
    std::vector<Request> requests;
    if (!FileExists(record_)) {
        return requests;
    }
    std::istringstream lines(ReadFile(record_));
    std::string line;
    while (std::getline(lines, line)) {
        requests.push_back(
            {Field(line, "path"), Field(line, "query"), Field(line, "auth"), Field(line, "agent")});
    }
    return requests;
}

}  // namespace orvex::test
