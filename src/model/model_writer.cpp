// Model file writer.
#include "model/model_writer.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdarg>
#include <cstring>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/ux_base.h"
#include "base/ux_hash.h"

namespace vexta {
namespace {

// Fatal message numbers of the application module used by the writer.
constexpr int kMsgCannotWrite = 30;  // "vexta: Cannot write features to "
constexpr int kMsgWrongElement = 31; // "vexta: Wrong iClosestConditionElem: "

// Longest text the model file reader takes whole in an item.
constexpr size_t kItemTextMax = 245;

// Output is collected and written in blocks of about this size.
constexpr size_t kFlushSize = 1 << 16;

// The file being written: the temporary file, the output buffer and the
// values met that the reader cannot give back as they were written.
struct ModelOut {
    const Model* pm = nullptr;
    int h = -1;
    std::string szTmpFile;
    std::string buf;
    long cUnstorable = 0;
    std::string szFirstUnstorable;
};

// Gives up: the temporary file is removed so that nothing half written
// remains, then the run ends with the application's fatal error.
[[noreturn]] void Abandon(ModelOut& out, int iMsg, std::string_view szDetail) {
    if (out.h >= 0) ::close(out.h);
    out.h = -1;
    ::unlink(out.szTmpFile.c_str());
    ux_FatalError(kModApp, iMsg, szDetail);
}

void Flush(ModelOut& out) {
    const char* p = out.buf.data();
    size_t cb = out.buf.size();
    while (cb > 0) {
        const ssize_t cbDone = ::write(out.h, p, cb);
        if (cbDone < 0 && errno == EINTR) continue;
        if (cbDone <= 0) Abandon(out, kMsgCannotWrite, out.pm->szModelFile);
        p += cbDone;
        cb -= static_cast<size_t>(cbDone);
    }
    out.buf.clear();
}

void Put(ModelOut& out, std::string_view sz) {
    out.buf.append(sz);
}

void Put(ModelOut& out, const char* psz) {
    if (psz != nullptr) out.buf.append(psz);
}

[[gnu::format(printf, 2, 3)]] void PutF(ModelOut& out, const char* pszFormat, ...) {
    va_list args;
    va_start(args, pszFormat);
    ux_VStrPrintf(out.buf, pszFormat, args);
    va_end(args);
}

void PutNum(ModelOut& out, long l) {
    char szBuf[24];
    const auto res = std::to_chars(szBuf, szBuf + sizeof szBuf, l);
    out.buf.append(szBuf, res.ptr);
}

// The start shared by the lines of a class: tag, tag element name, "<a>" and
// the AC string.
void PutLineStart(ModelOut& out, std::string_view szTag, const char* pszTE, const char* pszAC) {
    Put(out, szTag);
    Put(out, pszTE);
    Put(out, "<a>");
    Put(out, pszAC);
}

void EndLine(ModelOut& out) {
    out.buf.push_back('\n');
    if (out.buf.size() >= kFlushSize) Flush(out);
}

// Notes a text that the reader would not give back unchanged: it holds "<",
// a tab or a line end, begins or ends with a blank, or is too long for an
// item. It is still written as it is.
void NoteText(ModelOut& out, const char* psz) {
    if (psz == nullptr) return;
    const std::string_view sz(psz);
    const auto IsBlank = [](char ch) { return ch == ' ' || ch == '\t' || ch == '\n'; };
    const bool fStorable = sz.size() <= kItemTextMax && sz.find_first_of("<\t\n") == sz.npos &&
                           (sz.empty() || (!IsBlank(sz.front()) && !IsBlank(sz.back())));
    if (fStorable) return;
    if (out.cUnstorable++ == 0) out.szFirstUnstorable = sz;
}

void NoteUnstorable(ModelOut& out, std::string_view sz) {
    if (out.cUnstorable++ == 0) out.szFirstUnstorable = sz;
}

const char* TagElemName(const Model& m, int t) {
    if (t < 0 || t >= static_cast<int>(m.rgpszTagElemName.size())) return "";
    const char* psz = m.rgpszTagElemName[static_cast<size_t>(t)];
    return psz != nullptr ? psz : "";
}

// Writes an element in the file notation: "<d>", the element name, the value
// tag and the value. Closest conditions know fewer codes than term
// conditions. A code without notation, or a tag element code beyond the
// model's tag length (it would have no name), is fatal 31.
void PutElement(ModelOut& out, int iElem, const char* pszValue, bool fClosest) {
    const int cTagElem = out.pm->cTagElem;
    const char* pszName = nullptr;
    const char* pszValueTag = nullptr;
    if (iElem >= kElemValue && iElem < kElemValue + cTagElem) {
        pszName = TagElemName(*out.pm, iElem - kElemValue);
        pszValueTag = "<t>";
    } else if (iElem >= kElemAC && iElem < kElemAC + cTagElem) {
        pszName = TagElemName(*out.pm, iElem - kElemAC);
        pszValueTag = "<a>";
    } else if (!fClosest && iElem >= kElemACMember && iElem < kElemACMember + cTagElem) {
        pszName = TagElemName(*out.pm, iElem - kElemACMember);
        pszValueTag = "<e>";
    } else if (iElem == kElemForm) {
        pszName = "FORM";
        pszValueTag = "<g>";
    } else if (iElem == kElemLemma) {
        pszName = "LEMMA";
        pszValueTag = "<t>";
    } else if (iElem == kElemLemmaAC) {
        pszName = "LEMMA";
        pszValueTag = "<a>";
    } else if (!fClosest && iElem == kElemTag) {
        pszName = "TAG";
        pszValueTag = "<t>";
    } else if (!fClosest && iElem == kElemAnyTag) {
        pszName = "TAG";
        pszValueTag = "<a>";
    } else {
        Abandon(out, kMsgWrongElement, std::to_string(iElem));
    }
    Put(out, "<d>");
    Put(out, pszName);
    Put(out, pszValueTag);
    NoteText(out, pszValue);
    Put(out, pszValue);
}

void PutTerm(ModelOut& out, const FeatureTerm& ft) {
    if (ft.iPos == kPosEmpty) {
        Put(out, "@");
        return;
    }
    if (ft.iPos == kPosClosestLeft || ft.iPos == kPosClosestRight) {
        Put(out, ft.iPos < 0 ? "-" : "+");
        PutElement(out, ft.iClosestConditionElem, ft.pszClosestValue, true);
    } else if (ft.iPos == 0) {
        Put(out, "0");
    } else {
        Put(out, ft.iPos < 0 ? "-" : "+");
        PutNum(out, ft.iPos < 0 ? -ft.iPos : ft.iPos);
    }
    Put(out, "<v>");
    PutElement(out, ft.iConditionElem, ft.pszValue, false);
}

void PutFeature(ModelOut& out, const FeatureDesc& fd, const char* pszTE, const char* pszAC) {
    const Model& m = *out.pm;
    PutLineStart(out, "<FE>", pszTE, pszAC);
    Put(out, "<x>");
    PutNum(out, fd.cTerms);
    Put(out, "<c>");
    PutNum(out, fd.clCnt);
    PutF(out, "<w>%024.16f<y>", fd.dLambda);
    if (fd.pszY == m.pszEmpty) {
        Put(out, "*");
        EndLine(out);
        const size_t cCnt = std::min(static_cast<size_t>(std::max(fd.cCntTagElemGivenFeature, 0)),
                                     fd.rgclCntTagElemGivenFeature.size());
        const size_t cchAC = std::strlen(pszAC);
        for (size_t i = 0; i < cCnt; ++i) {
            const long cl = fd.rgclCntTagElemGivenFeature[i];
            if (cl <= 0) continue;
            const char szValue[2] = {i < cchAC ? pszAC[i] : '\0', '\0'};
            PutLineStart(out, "<fc>", pszTE, pszAC);
            Put(out, "<t>");
            Put(out, szValue);
            Put(out, "<c>");
            PutNum(out, cl);
            EndLine(out);
        }
    } else {
        const char* pszY = fd.pszY != nullptr ? fd.pszY : "";
        NoteText(out, pszY);
        // "*" is the file's notation for all values; the value "*" itself
        // would read back as that.
        if (std::strcmp(pszY, "*") == 0) NoteUnstorable(out, pszY);
        Put(out, pszY);
        EndLine(out);
    }
    const int cTerms = std::clamp(fd.cTerms, 0, kTermsMax);
    for (int i = 0; i < cTerms; ++i) {
        PutLineStart(out, "<Fx>", pszTE, pszAC);
        Put(out, "<i>");
        PutNum(out, i);
        Put(out, "<p>");
        PutTerm(out, fd.rgftTerm[static_cast<size_t>(i)]);
        EndLine(out);
    }
}

void PutAmbClass(ModelOut& out, const AmbClass& ac, const char* pszTE) {
    const Model& m = *out.pm;
    const char* pszAC = ac.pszAmbClass != nullptr ? ac.pszAmbClass : "";
    NoteText(out, pszAC);
    PutLineStart(out, "<AC>", pszTE, pszAC);
    Put(out, "<c>");
    PutNum(out, ac.clAmbClassCnt);
    EndLine(out);
    const size_t cchAC = std::min(std::strlen(pszAC), ac.rgclJointCnt.size());
    for (size_t i = 0; i < cchAC; ++i) {
        if (ac.rgclJointCnt[i] <= 0) continue;
        PutLineStart(out, "<Aj>", pszTE, pszAC);
        Put(out, "<t>");
        out.buf.push_back(pszAC[i]);
        Put(out, "<c>");
        PutNum(out, ac.rgclJointCnt[i]);
        EndLine(out);
    }
    // Features in chain order. The chain must stay inside the used area and
    // cannot be longer than the number of features; anything else is a
    // broken chain, which must not produce an endless or garbled file.
    const long cFeatures =
        std::min(m.clFeatureAreaUsed, static_cast<long>(m.rgfdFeatureArea.size()));
    long cSeen = 0;
    for (long il = ac.ilPacFeatureFirst; il != -1;
         il = m.rgfdFeatureArea[static_cast<size_t>(il)].ilNextFeature) {
        if (il < 0 || il >= cFeatures || ++cSeen > cFeatures) {
            Abandon(out, kMsgApp,
                    "model: feature chain of class " + std::string(pszAC) + " broken at " +
                        std::to_string(il));
        }
        PutFeature(out, m.rgfdFeatureArea[static_cast<size_t>(il)], pszTE, pszAC);
    }
}

void PutTagElem(ModelOut& out, int t) {
    const Model& m = *out.pm;
    const char* pszTE = TagElemName(m, t);
    NoteText(out, pszTE);
    PutF(out, "%s%012u%s%s", "<st>", static_cast<unsigned>(t), "<d>", pszTE);
    EndLine(out);
    if (static_cast<size_t>(t) >= m.rgteTagElem.size()) return;
    const TagElem& te = m.rgteTagElem[static_cast<size_t>(t)];
    for (int v = 0; v < kValueCnt; ++v) {
        const long cl = te.rgclSubtagCnt[static_cast<size_t>(v)];
        if (cl <= 0) continue;
        // A value byte 0 would be written as an empty value.
        if (v == 0) NoteUnstorable(out, "\\0");
        const char szValue[2] = {static_cast<char>(v), '\0'};
        Put(out, "<sc>");
        Put(out, pszTE);
        Put(out, "<t>");
        Put(out, szValue);
        Put(out, "<c>");
        PutNum(out, cl);
        EndLine(out);
    }
    const long cAreaRecs = static_cast<long>(m.rgacAmbClassArea.size());
    const long ilEnd = std::min(te.ilAmbClassFirst + te.clAmbClass, cAreaRecs);
    for (long il = std::max(te.ilAmbClassFirst, 0L); il < ilEnd; ++il) {
        PutAmbClass(out, m.rgacAmbClassArea[static_cast<size_t>(il)], pszTE);
    }
}

} // namespace

std::string ModelTmpFile(std::string_view szModelFile) {
    return ux_FollowLinks(szModelFile) + ".tmp" + std::to_string(::getpid());
}

namespace {

// Creates the temporary file beside the file the model path names in the end
// (a symbolic link is followed, so that renaming onto its target keeps the
// link): the target's name with ".tmp" and the process id appended. Created
// 0666 under the file-creation mask; when the model file exists already,
// its permission bits carry over to the new file.
int CreateTmpFile(ModelOut& out, const std::string& szTarget) {
    if (szTarget.empty()) return -1;
    struct stat st {};
    const bool fExists = ::stat(szTarget.c_str(), &st) == 0;
    // The model file itself would have to be writable to be replaced in
    // place; keep refusing what cannot be written.
    if (fExists && ::access(szTarget.c_str(), W_OK) != 0) return -1;
    out.szTmpFile = ModelTmpFile(szTarget);
    ::unlink(out.szTmpFile.c_str());
    const int h = ::open(out.szTmpFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (h >= 0 && fExists && S_ISREG(st.st_mode)) ::fchmod(h, st.st_mode & 07777);
    return h;
}

} // namespace

int WriteModel(Model& m) {
    if (m.hModelFile > 0) ux_Close(m.hModelFile);
    m.hModelFile = 0;

    ModelOut out;
    out.pm = &m;
    const std::string szTarget = ux_FollowLinks(m.szModelFile);
    const ux_RemoveOnSignal guard(ModelTmpFile(szTarget));
    out.h = CreateTmpFile(out, szTarget);
    if (out.h < 0) ux_FatalError(kModBase, 11, m.szModelFile); // "Cannot open output file: "
    out.buf.reserve(kFlushSize + 4096);

    std::fprintf(stderr, "%s: writing model to file %s...\n", ux_ProgName().c_str(),
                 m.szModelFile.c_str());

    Put(out, "<Dn>");
    Put(out, m.szModelFile);
    EndLine(out);
    for (const std::string& szNote : m.rgszNotes) {
        Put(out, "<Dn>");
        Put(out, szNote);
        EndLine(out);
    }
    Put(out, "<Dt>");
    Put(out, m.szTrainingData);
    EndLine(out);
    Put(out, "<Dp>");
    Put(out, m.szFeaturePoolFile);
    EndLine(out);
    const long cStrings = m.phashStr ? m.phashStr->cRecs : 0;
    PutF(out, "%s%ld\n%s%d\n%s%ld\n%s%ld\n%s%ld\n", "<Ds>", m.clTrainingSize, "<Dc>", m.cTagElem,
         "<Dz>", cStrings, "<Df>", m.clFeatureAreaUsed, "<Da>", m.clAmbClassAreaUsed);
    PutF(out, "%s%d\n%s%d\n%s%d\n", "<Dh>", m.cClosestThr, "<Dk>", m.cPoolThr, "<Dl>", m.cThrMin);
    Put(out, "<Di>");
    Put(out, m.szAmbClassIgnore);
    EndLine(out);

    for (int t = 0; t < m.cTagElem; ++t) PutTagElem(out, t);

    Flush(out);
    if (::fsync(out.h) != 0 || ::close(out.h) != 0) {
        out.h = -1;
        Abandon(out, kMsgCannotWrite, m.szModelFile);
    }
    out.h = -1;
    if (::rename(out.szTmpFile.c_str(), szTarget.c_str()) != 0) {
        Abandon(out, kMsgCannotWrite, m.szModelFile);
    }

    if (out.cUnstorable > 0) {
        ux_Warning(kModApp, kMsgApp,
                   "model: " + std::to_string(out.cUnstorable) +
                       " value(s) written that cannot be read back as they are (first: <" +
                       out.szFirstUnstorable + ">)");
    }
    return 0;
}

} // namespace vexta
