# Toolchain file for the builds under AddressSanitizer and UndefinedBehavior-
# Sanitizer with clang: the whole project, its tests and (with
# -DVESSOR_FUZZERS=ON) the libFuzzer targets.
#
#   cmake -S . -B build/sanitize -G Ninja -DCMAKE_TOOLCHAIN_FILE=fuzz/sanitize.cmake
#   cmake -S . -B build/fuzz -G Ninja -DCMAKE_TOOLCHAIN_FILE=fuzz/sanitize.cmake \
#         -DVESSOR_FUZZERS=ON -DVESSOR_BUILD_TESTS=OFF
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)

set(sanitize_flags "-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer")
# The fuzzers steer by the coverage of all the code, not only their own.
if(VESSOR_FUZZERS)
  string(APPEND sanitize_flags " -fsanitize=fuzzer-no-link")
endif()
set(CMAKE_C_FLAGS_INIT "${sanitize_flags}")
set(CMAKE_CXX_FLAGS_INIT "${sanitize_flags}")

# The plug-in is linked with --no-undefined, which a shared library built
# against the static sanitizer runtime cannot pass; the shared runtime, found
# through the run path, serves programs and plug-in alike.
execute_process(COMMAND clang++ -print-file-name=libclang_rt.asan-x86_64.so
                OUTPUT_VARIABLE sanitizer_runtime OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(sanitizer_runtime_dir "${sanitizer_runtime}" DIRECTORY)
set(sanitize_link_flags "-shared-libsan -Wl,-rpath,${sanitizer_runtime_dir}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${sanitize_link_flags}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${sanitize_link_flags}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${sanitize_link_flags}")
