# Prints the size of the Windows self-extractor stub and fails the build when
# it passes the limit: readers of self-extracting files (LHa for UNIX, lhasa,
# 7-Zip) look for the archive only in the first 64 KiB.
#   cmake -DSTUB=<file> -DLIMIT=<bytes> -P report_stub_size.cmake
file(SIZE "${STUB}" size)
message(STATUS "Windows self-extractor stub: ${size} bytes (limit ${LIMIT})")
if(size GREATER LIMIT)
  message(FATAL_ERROR "The Windows self-extractor stub is ${size} bytes, more than ${LIMIT}")
endif()
