// The unit the test programs' precompiled headers are made with (tests/CMakeLists.txt).
