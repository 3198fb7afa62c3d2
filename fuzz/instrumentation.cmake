# Flags of the fuzz configuration (TSL_FUZZ=ON), included from the top-level CMakeLists.txt
# before any target exists, so that every library and plug-in is built with them: coverage for
# libFuzzer and the address and undefined-behaviour sanitizers, with any finding fatal.
#
# The plug-ins are shared libraries linked with --no-undefined, so the sanitizer runtime must be
# a shared library too (-shared-libsan); executables and plug-ins find it through an RPATH.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang" OR NOT CMAKE_C_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "TSL_FUZZ needs clang as the C and C++ compiler, for example "
    "CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -DTSL_FUZZ=ON (scripts/fuzz does this)")
endif()

execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-runtime-dir
  OUTPUT_VARIABLE TSL_CLANG_RUNTIME_DIR OUTPUT_STRIP_TRAILING_WHITESPACE)
set(TSL_LIBFUZZER ${TSL_CLANG_RUNTIME_DIR}/libclang_rt.fuzzer-x86_64.a)
if(NOT EXISTS ${TSL_LIBFUZZER})
  message(FATAL_ERROR "libFuzzer not found at ${TSL_LIBFUZZER} (install libclang-rt-14-dev)")
endif()

add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
  -fno-omit-frame-pointer -g)
add_link_options(-fsanitize=address,undefined -shared-libsan
  -Wl,-rpath,${TSL_CLANG_RUNTIME_DIR})
