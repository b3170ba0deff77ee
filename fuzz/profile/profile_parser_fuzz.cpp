// Any body the server sends must parse or fail cleanly: no crash, no read out
// of bounds, no hang, and the same answer every time (a parse starts empty).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "foundation/IUErrorLog.h"
#include "session/ConnectivityProfileParser.h"

namespace {

// Takes every record at the highest level and drops it, so that the records'
// formatting runs too.
class DiscardingLog : public IUErrorLog
{
public:
    DiscardingLog() { m_logLevel.store(63); }
    int open(const char*, const char*) override { return 0; }
    int close() override { return 0; }
    int WriteLogByte(const void*, int count) override { return count; }
    int writeTextAndBytes(const char*, const void*, int count) override { return count; }
    int writeLine(const char*) override { return 0; }
    CString getFileName() override { return CString(""); }
};

std::string dump(const tessal::qt::ConnectivityProfileParser& p)
{
    std::ostringstream o;
    for (const auto& s : p.servers)
        o << s.address << '\x1f' << s.alias << '\x1e';
    o << p.saveOnExit << '\x1f' << p.savePasswords << '\x1f' << p.reuseWinLogonCreds << '\x1f' << p.reuseWinLogonSession
      << '\x1f' << p.passwordPolicyMode << '\x1f' << p.passwordPolicyTimeout << '\x1f' << p.updateMode << '\x1e';
    for (const auto& d : p.dnsSuffixes)
        o << d << '\x1e';
    for (const auto& w : p.winPackages)
        o << w.file << '\x1f' << w.destinationDir << '\x1f' << w.clsid << '\x1f' << w.version << '\x1f' << w.source
          << '\x1f' << w.needInstall << '\x1e';
    for (const auto* list : {&p.macPackages, &p.linuxPackages}) {
        for (const auto& m : *list)
            o << m.id << '\x1f' << m.version << '\x1f' << m.signature << '\x1f' << m.source << '\x1f' << m.minVersion
              << '\x1e';
        o << '\x1d';
    }
    for (const auto& ip : p.validServerIPs)
        o << ip << '\x1e';
    for (const auto& r : p.lanSubnetRanges)
        o << r << '\x1e';
    return o.str();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static DiscardingLog* log = [] {
        auto* l = new DiscardingLog;
        g_pErrorLog.store(l);
        return l;
    }();
    (void)log;

    const std::string body(reinterpret_cast<const char*>(data), size);
    tessal::qt::ConnectivityProfileParser first;
    const bool ok = first.Parse(body);

    // Parsing again into a used parser gives the same result.
    tessal::qt::ConnectivityProfileParser again = first;
    if (again.Parse(body) != ok || dump(again) != dump(first))
        std::abort();
    return 0;
}
