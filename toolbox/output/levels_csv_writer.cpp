#include "toolbox/output/levels_csv_writer.h"

#include <errno.h>
#include <stdio.h>

#include "host/base/host_error.h"
#include "toolbox/levels/levels_csv_header.h"

LevelsCsvWriter::LevelsCsvWriter(const std::string& path) : file_(path) {
    fprintf(file_.stream(), "%s\n", LevelsCsvHeader().c_str());
}

void LevelsCsvWriter::Write(double time, const float levels[16]) {
    FILE* file = file_.stream();
    if (!file) throw HostError(Fault::kFailure, "cannot write " + file_.path() + ": it is already closed");
    fprintf(file, "%.6f", time);
    for (int i = 0; i < 16; ++i) fprintf(file, ",%.9g", double(levels[i]));
    if (fputc('\n', file) == EOF || ferror(file)) file_.Fail(errno);
}
