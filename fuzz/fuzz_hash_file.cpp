// Hash-table text files (tag tables): the input is read as a table file and
// every entry is walked.
#include <array>
#include <memory>

#include "base/ux_hash.h"
#include "fuzz_util.h"

using namespace vexta;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pb, std::size_t cb) {
    const std::string szPath = fuzz::WriteScratch("table.txt", fuzz::AsText(pb, cb));
    for (const int fSwap : {0, 1}) {
        fuzz::Guarded([&] {
            std::unique_ptr<HashTable> ph;
            ux_HashFileIn(&ph, szPath, fSwap);
            if (!ph) return;
            const char* pszKey = nullptr;
            const char* pszValue = nullptr;
            long lPayload = 0;
            for (int rc = ux_HashFirstDataPtr(ph.get(), &pszKey, &pszValue, &lPayload); rc != -1;
                 rc = ux_HashNextDataPtr(ph.get(), &pszKey, &pszValue, &lPayload)) {
            }
        });
    }
    return 0;
}
