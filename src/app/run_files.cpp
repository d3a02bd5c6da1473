// Start-up checks of the files a run reads and writes.
#include "app/run_files.h"

#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/ux_arg.h"
#include "base/ux_base.h"
#include "model/model_writer.h"

namespace vexta {

namespace {

struct RunFile {
    std::string szKey;
    std::string szName;
};

// The value of szKey, or empty when the key is absent.
std::string Value(std::string_view szArgFile, std::string_view szKey) {
    std::string sz;
    if (ux_ArgGetValue(szArgFile, szKey, sz) > 0) sz.clear();
    return sz;
}

void AddIfGiven(std::vector<RunFile>& rgrf, std::string_view szArgFile, const char* pszKey) {
    std::string sz = Value(szArgFile, pszKey);
    if (!sz.empty()) rgrf.push_back({pszKey, std::move(sz)});
}

bool SameFile(const struct stat& st1, const struct stat& st2) {
    return st1.st_dev == st2.st_dev && st1.st_ino == st2.st_ino;
}

void RefuseOutputsThatAreInputs(const std::vector<RunFile>& rgrfIn,
                                const std::vector<RunFile>& rgrfOut) {
    for (const RunFile& rfOut : rgrfOut) {
        struct stat stOut {};
        // An output that does not exist yet cannot be an input.
        if (::stat(rfOut.szName.c_str(), &stOut) != 0) continue;
        for (const RunFile& rfIn : rgrfIn) {
            struct stat stIn {};
            if (::stat(rfIn.szName.c_str(), &stIn) != 0 || !SameFile(stIn, stOut)) continue;
            ux_FatalError(kModApp, kMsgApp,
                          rfOut.szKey + " " + rfOut.szName + " is the same file as the input " +
                              rfIn.szKey + " " + rfIn.szName + "; nothing written");
        }
    }
}

void RequireWritable(const std::string& szName) {
    if (const int iErrno = ux_CheckCreate(szName); iErrno != 0)
        ux_FatalError(kModBase, 11, szName + ": " + std::strerror(iErrno));
}

} // namespace

void CheckRunFiles(std::string_view szArgFile, std::string_view szMode) {
    const bool fTrain = szMode == "Train" || szMode == "TrainOut";
    const std::string szFeatureMode = Value(szArgFile, "FeatureMode");

    std::vector<RunFile> rgrfIn{{"argument file", std::string(szArgFile)}};
    for (const char* pszKey : {"InData", "TrainData", "HeldoutData", "TestData", "TagTable"})
        AddIfGiven(rgrfIn, szArgFile, pszKey);
    std::vector<RunFile> rgrfOut;
    AddIfGiven(rgrfOut, szArgFile, "LogFile");
    AddIfGiven(rgrfOut, szArgFile, "InputAC");
    AddIfGiven(fTrain ? rgrfOut : rgrfIn, szArgFile, "Features");
    if (fTrain && szFeatureMode == "Read") AddIfGiven(rgrfIn, szArgFile, "FeatureSugg");
    if (fTrain && szFeatureMode == "GenerateOut") AddIfGiven(rgrfOut, szArgFile, "FeatureSugg");
    RefuseOutputsThatAreInputs(rgrfIn, rgrfOut);

    if (!fTrain) return;
    // The model is written beside the file its path names in the end and
    // renamed onto it: both must be possible.
    if (const std::string szModel = Value(szArgFile, "Features"); !szModel.empty()) {
        const std::string szTarget = ux_FollowLinks(szModel);
        RequireWritable(szTarget);
        if (const int iErrno = ux_CheckCreate(ModelTmpFile(szTarget)); iErrno != 0)
            ux_FatalError(kModBase, 11, szModel + ": " + std::strerror(iErrno));
    }
    if (szFeatureMode == "GenerateOut") {
        if (const std::string szPool = Value(szArgFile, "FeatureSugg"); !szPool.empty())
            RequireWritable(ux_FollowLinks(szPool));
    }
}

} // namespace vexta
