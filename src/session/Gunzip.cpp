#include "session/Gunzip.h"

#include <zlib.h>

#include <cstring>

namespace tessal {
namespace qt {

bool gunzip(const std::vector<char>& in, std::vector<char>& out, size_t limit, bool* tooLarge)
{
    out.clear();
    if (tooLarge != nullptr)
        *tooLarge = false;
    if (in.empty())
        return true;
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (inflateInit2(&zs, 16 + MAX_WBITS) != Z_OK)
        return false;
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    zs.avail_in = static_cast<uInt>(in.size());
    char chunk[65536];
    int rc = Z_OK;
    bool ok = true;
    while (true) {
        zs.next_out = reinterpret_cast<Bytef*>(chunk);
        zs.avail_out = sizeof chunk;
        rc = inflate(&zs, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END) {
            ok = false;
            break;
        }
        const size_t produced = sizeof chunk - zs.avail_out;
        // Checked before the piece is kept: the output never outgrows limit.
        if (produced > limit - out.size()) {
            ok = false;
            if (tooLarge != nullptr)
                *tooLarge = true;
            break;
        }
        out.insert(out.end(), chunk, chunk + produced);
        if (rc == Z_STREAM_END) {
            if (zs.avail_in == 0)
                break;
            if (inflateReset(&zs) != Z_OK) { // another member follows
                ok = false;
                break;
            }
            continue;
        }
        if (zs.avail_in == 0 && zs.avail_out != 0) { // input ended inside a member
            ok = false;
            break;
        }
    }
    inflateEnd(&zs);
    if (!ok)
        std::vector<char>().swap(out);
    return ok;
}

} // namespace qt
} // namespace tessal
