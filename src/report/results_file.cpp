#include "report/results_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "core/failure.h"
#include "report/number_format.h"

namespace queuecalc {

const char* const kResultsFileName = "OUTPUT.CSV";

namespace {

// Line end of a text file on the program's home platform, written on every
// platform so that the file is the same everywhere.
const char* const kEol = "\r\n";

// SUPERSCRIPT TWO as the single byte of ISO 8859-1 / Windows-1252.
const std::string kSquare = "\xB2";

// Fixed description of the parameter file, written after the echo. It names
// thirteen items for the twelve echoed values and only two distributions;
// it is kept exactly as users' files have always carried it.
const char* const kCommentBlock[32] = {
    "// INPUT FILE FOR THE M/GI/s/r + GI QUEUE",
    "// Paper: Marrowby (2005). Engineering Solution of a Basic Call-Center Model. Management Science, Vol. 51, No. 2, pp. 221-235.",
    "// Implementation: Quenholt.",
    "// Implementation language: C++.",
    "// Implementation date: 1/11/2013.",
    "//",
    "// FILE STRUCTURE",
    "//",
    "// ABANDONMENT TIME DISTRIBUTION (0 = EXPONENTIAL)",
    "// 1ST PARAMETER OF THE ABANDONMENT TIME DISTRIBUTION",
    "// 2ND PARAMETER OF THE ABANDONMENT TIME DISTRIBUTION",
    "// 3TH PARAMETER OF THE ABANDONMENT TIME DISTRIBUTION",
    "// NUMBER OF SERVERS",
    "// NUMBER OF EXTRA WAITING SPACES",
    "// INDIVIDUAL SERVICE RATE",
    "// ARRIVAL RATE ",
    "// TIME IN BETWEEN MEASUREMENT MOMENTS (SERVICE & ABANDONMENT DISTRIBUTIONS)",
    "// NUMBER OF TERMS TO SUM FOR EACH MEASUREMENT MOMENT (DETERMINES PRECISION; DEFAULT IS 32)",
    "// MAXIMUM TIME INSTANCE (MEASUREMENT MOMENTS ARE EVALUATED IF THEY TAKE PLACE BEFORE THE MAXIMUM TIME INSTANCE)",
    "// PRECISION OF CALCULATION IN SIGNIFICANT NUMBER OF DIGITS (DEFAULT IS 32)",
    "// ALGORITHM USED TO PERFORM INVERSE LAPLACE TRANSFORM (-1 = EULER | 1 = TALBOT | 0 = BOTH)",
    "//",
    "// DISTRIBUTIONS:",
    "//   0) EXPONENTIAL:",
    "//\t-> 1ST PARAMETER = EXPONENTIAL ABANDONMENT RATE",
    "//\t-> 2ND PARAMETER = NOT IN USE (-1)",
    "//\t-> 3TH PARAMETER = NOT IN USE (-1)",
    "//",
    "//   1) ERLANG:",
    "//\t-> 1ST PARAMETER = EXPONENTIAL RATE OF A PHASE",
    "//\t-> 2ND PARAMETER = NUMBER OF PHASES",
    "//\t-> 3TH PARAMETER = NOT IN USE (-1)",
};

void line(std::string& out, const std::string& text) {
    out += text;
    out += kEol;
}

// One distribution section: title, column line and one row per moment, with
// the Euler column before the Talbot column when both algorithms ran.
void section(std::string& out, const char* columnTitle, const std::vector<double>& timeGrid,
             const std::vector<double>* euler, const std::vector<double>* talbot) {
    const bool withEuler = euler != nullptr;
    const bool withTalbot = talbot != nullptr;
    std::string title;
    std::string columns = "Time";
    if (withEuler) {
        title += ";Euler";
        columns += std::string(";") + columnTitle;
    }
    if (withTalbot) {
        title += ";Talbot";
        columns += std::string(";") + columnTitle;
    }
    line(out, title);
    line(out, columns);
    for (std::size_t n = 0; n < timeGrid.size(); ++n) {
        std::string row = formatNumber(timeGrid[n]);
        if (withEuler) row += ";" + formatNumber((*euler)[n]);
        if (withTalbot) row += ";" + formatNumber((*talbot)[n]);
        line(out, row);
    }
}

}  // namespace

std::string buildResultsFile(const ModelInput& input, const PerformanceMeasures& pm,
                             const std::vector<double>& timeGrid, const InversionResults& curves) {
    std::string out;
    out.reserve(4096 + 64 * timeGrid.size());
    line(out, "OUTPUT:");
    line(out, "");
    line(out, "RHO;" + formatNumber(pm.rho));
    line(out, "P(Loss);" + formatNumber(pm.lossProb));
    line(out, "P(NoWait);" + formatNumber(pm.noWaitProb));
    line(out, "P(S);" + formatNumber(pm.servedProb));
    line(out, "P(A);" + formatNumber(pm.abandonProb));
    line(out, "E[W,S];" + formatNumber(pm.partialMeanServed));
    line(out, "E[W" + kSquare + ",S];" + formatNumber(pm.partialSecondMomentServed));
    line(out, "E[W|S];" + formatNumber(pm.meanWaitServed));
    line(out, "E[W" + kSquare + "|S];" + formatNumber(pm.secondMomentServed));
    line(out, "Var(W|S);" + formatNumber(pm.varianceServed));
    line(out, "E[W1_A];" + formatNumber(pm.partialMeanAbandon));
    line(out, "E[W" + kSquare + "1_A];" + formatNumber(pm.partialSecondMomentAbandon));
    line(out, "E[W|A];" + formatNumber(pm.meanWaitAbandon));
    line(out, "E[W" + kSquare + "|A];" + formatNumber(pm.secondMomentAbandon));
    line(out, "Var(W|A);" + formatNumber(pm.varianceAbandon));
    line(out, "");
    line(out, "WAITING TIME DISTRIBUTION");
    const WaitingTimeCurves* euler = curves.euler ? &*curves.euler : nullptr;
    const WaitingTimeCurves* talbot = curves.talbot ? &*curves.talbot : nullptr;
    section(out, "P(0<W<= t , S)", timeGrid, euler ? &euler->joint : nullptr,
            talbot ? &talbot->joint : nullptr);
    line(out, "");
    line(out, "CONDITIONAL WAITING TIME DISTRIBUTION");
    section(out, "P(W<= t | S)", timeGrid, euler ? &euler->conditional : nullptr,
            talbot ? &talbot->conditional : nullptr);
    line(out, "");
    line(out, "INPUT FILE USED:");
    line(out, "");
    line(out, std::to_string(input.abandonType));
    line(out, formatNumber(input.abandonParam1));
    line(out, formatNumber(input.abandonParam2));
    line(out, formatNumber(input.abandonParam3));
    line(out, std::to_string(input.servers));
    line(out, std::to_string(input.waitingPlaces));
    line(out, formatNumber(input.serviceRate));
    line(out, formatNumber(input.arrivalRate));
    line(out, formatNumber(input.momentInterval));
    line(out, std::to_string(input.inversionTerms));
    line(out, formatNumber(input.maxTime));
    line(out, std::to_string(input.inversionMethod));
    for (const char* text : kCommentBlock) line(out, text);
    return out;
}

namespace {

bool writeAll(int fd, const std::string& bytes) {
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

[[noreturn]] void fail(const std::string& reason) {
    throw RunFailure("Unable to write results file (OUTPUT.CSV): " + reason + ".");
}

[[noreturn]] void failWith(int error) {
    fail(std::strerror(error));
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

// Flushes to disk; a file that cannot be flushed (a pipe, /dev/null) counts
// as flushed.
bool flush(int fd) {
    return ::fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
}

// Writes, flushes and closes; on any failure closes and reports.
void writeAndClose(int fd, const std::string& bytes, const std::string& temp) {
    bool ok = writeAll(fd, bytes) && flush(fd);
    int error = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        if (!temp.empty()) ::unlink(temp.c_str());
        failWith(error);
    }
}

// Overwrites the file itself: the way when its folder takes no new file.
void writeInPlace(const std::string& path, const std::string& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0) failWith(errno);
    writeAndClose(fd, bytes, "");
}

}  // namespace

// The results go to a new file beside the target, which replaces the target
// only once it is complete and on disk, so that an earlier results file
// survives any failure intact. Where the folder takes no new file but the
// target itself is writable, the target is overwritten in place. A target
// that is not writable stays as it is, as it would for a plain overwrite.
// Any failure is reported: losing the results silently would look like
// success.
void writeResultsFile(const std::string& path, const std::string& bytes) {
    std::string target = path;
    struct stat existing {};
    bool exists = ::lstat(path.c_str(), &existing) == 0;
    if (exists && S_ISLNK(existing.st_mode)) {
        // Replace the file the link points to, not the link.
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (resolved == nullptr) {
            writeInPlace(path, bytes);  // a dangling link: create its target
            return;
        }
        target = resolved;
        std::free(resolved);
        exists = ::stat(target.c_str(), &existing) == 0;
    }
    if (exists && S_ISDIR(existing.st_mode)) fail("a folder of that name is in the way");
    if (exists && ::access(target.c_str(), W_OK) != 0) failWith(errno);
    if (exists && !S_ISREG(existing.st_mode)) {
        writeInPlace(target, bytes);  // a device or pipe is written, not replaced
        return;
    }

    std::string temp = folderOf(target);
    if (temp.back() != '/') temp += '/';
    temp += ".OUTPUT.CSV.XXXXXX";
    const int fd = ::mkstemp(&temp[0]);
    if (fd < 0) {
        if (errno == EACCES || errno == EPERM) {
            writeInPlace(target, bytes);
            return;
        }
        failWith(errno);
    }
    // The new file gets the permissions (and, where allowed, the owner) the
    // old one had, or those a plain creation would give.
    if (exists) {
        ::fchmod(fd, existing.st_mode & 07777);
        if (::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
            // Only the owner's permissions change hands when the owner cannot.
        }
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    writeAndClose(fd, bytes, temp);
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        failWith(error);
    }
    // The new name reaches the disk with the folder.
    const int folder = ::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

}  // namespace queuecalc
