#include "store/standard_descriptors.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

namespace sarnavel {

StandardDescriptors openStandardDescriptors() {
  StandardDescriptors result;
  bool* wasClosed[3] = {&result.inputWasClosed, &result.outputWasClosed, &result.errorWasClosed};
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    *wasClosed[fd] = true;
    // The lowest free number is taken, which is this one, since those below it are open now.
    const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened != fd) {
      if (opened >= 0) close(opened);
      result.failed = true;
    }
  }
  return result;
}

}  // namespace sarnavel
