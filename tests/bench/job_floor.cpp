// The floor of the whole job that wdxprobe does over a folder: list it, and
// for every file eight times make the system calls a request makes (a stat
// to see that it is a regular file, open, fstat, read its first 78 bytes,
// close) and nothing else. Prints the number of files.
//
// Usage: korvel_job_floor FOLDER [THREADS]
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: korvel_job_floor FOLDER [THREADS]\n");
    return 2;
  }
  const std::string folder = argv[1];
  const int threads = argc == 3 ? std::atoi(argv[2]) : 1;
  std::vector<std::string> paths;
  DIR* directory = ::opendir(folder.c_str());
  if (directory == nullptr) return 1;
  while (const dirent* entry = ::readdir(directory)) {
    if (entry->d_type == DT_REG) paths.push_back(folder + "/" + entry->d_name);
  }
  ::closedir(directory);

  std::atomic<std::size_t> next{0};
  auto work = [&] {
    unsigned char header[78];
    struct stat status;
    for (std::size_t i = next++; i < paths.size(); i = next++) {
      for (int field = 0; field < 8; ++field) {
        if (::stat(paths[i].c_str(), &status) != 0) continue;
        const int fd = ::open(paths[i].c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) continue;
        if (::fstat(fd, &status) != 0) header[0] = 0;
        if (::read(fd, header, sizeof header) < 0) header[0] = 0;
        ::close(fd);
      }
    }
  };
  std::vector<std::thread> workers;
  for (int t = 1; t < threads; ++t) workers.emplace_back(work);
  work();
  for (auto& worker : workers) worker.join();
  std::printf("%zu\n", paths.size());
  return 0;
}
