# The fuzz targets, each fuzz/NAME_fuzz.cpp: built as libFuzzer programs by fuzz/CMakeLists.txt
# and as replays of their corpora by tests/CMakeLists.txt.
set(SARNAVEL_FUZZ_TARGETS tag_walk references converter escaping page sheet script)
