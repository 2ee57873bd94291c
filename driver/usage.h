// The banner and the usage text, byte for byte as the product's users know them.
#ifndef DBRUNNER_DRIVER_USAGE_H_
#define DBRUNNER_DRIVER_USAGE_H_

#include <cstdio>

namespace dbrunner {

void PrintHeader(std::FILE* out);
void PrintUsage(std::FILE* out);

}  // namespace dbrunner

#endif  // DBRUNNER_DRIVER_USAGE_H_
