#include "platform/FolderListing.h"

#include <QFile>

#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

std::vector<FolderListing::File> FolderListing::regularFiles(const QString& folder,
                                                             QByteArrayView suffix)
{
    std::vector<File> files;
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return files;
    const int dirFd = ::dirfd(dir);
    std::vector<QByteArray> candidates;
    while (const dirent* item = ::readdir(dir)) {
        const QByteArrayView fileName(item->d_name);
        if (fileName.size() <= suffix.size() || !fileName.endsWith(suffix))
            continue;
        if (item->d_type == DT_REG || item->d_type == DT_LNK || item->d_type == DT_UNKNOWN)
            candidates.push_back(fileName.toByteArray());
    }
    std::vector<qint64> sizes(candidates.size(), -1);
    std::vector<qint64> modified(candidates.size(), 0);
    // Names relative to the folder's descriptor cost one lookup each, where a full path per
    // file walks it all again; two threads share the remaining cost of the sizes.
    const auto examine = [&](size_t from, size_t to) {
        for (size_t i = from; i < to; ++i) {
            struct stat status;
            if (::fstatat(dirFd, candidates[i].constData(), &status, 0) == 0 &&
                S_ISREG(status.st_mode)) {
                sizes[i] = status.st_size;
                modified[i] =
                    qint64(status.st_mtim.tv_sec) * 1000 + status.st_mtim.tv_nsec / 1000000;
            }
        }
    };
    const size_t half = candidates.size() / 2;
    if (candidates.size() >= 2000) {
        std::thread helper(examine, half, candidates.size());
        examine(0, half);
        helper.join();
    } else {
        examine(0, candidates.size());
    }
    ::closedir(dir);
    files.reserve(candidates.size());
    for (size_t i = 0; i < candidates.size(); ++i) {
        if (sizes[i] >= 0)
            files.push_back(File{std::move(candidates[i]), sizes[i], modified[i]});
    }
    return files;
}
