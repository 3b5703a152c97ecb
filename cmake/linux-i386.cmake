# 32-bit x86 Linux build of the portable core and its tests: the shipped patcher is 32-bit, so the
# core's arithmetic must also run with 32-bit registers and a 32-bit size_t, not only compile.
# Linked statically so the tests need no 32-bit system libraries to run.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
# Large-file calls as the Windows C runtime makes them: without this glibc's 32-bit fopen refuses
# files past 2 GiB, which the patcher's own target opens.
set(CMAKE_C_FLAGS_INIT "-m32 -D_FILE_OFFSET_BITS=64")
set(CMAKE_CXX_FLAGS_INIT "-m32 -D_FILE_OFFSET_BITS=64")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32 -static")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/i386-run.sh)
# Where scripts/build-zstd.sh puts the libraries this toolchain has none of (build/deps/NAME).
set(GARUN2_DEPS_NAME core32)
