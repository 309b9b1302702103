# Compile settings shared by every target: the standard, warnings, the sanitizer switches and the
# fuzzing instrumentation. quorvane_gui_common adds what the Qt targets share.
option(WITH_ASAN "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(WITH_TSAN "Build with ThreadSanitizer" OFF)
option(ENABLE_FUZZING "Build the libFuzzer programs (clang; adds coverage, ASan and UBSan everywhere)" OFF)

add_library(quorvane_common INTERFACE)
target_compile_features(quorvane_common INTERFACE cxx_std_20)
if(MSVC)
    # Sources are UTF-8; GBK texts are written as byte escapes and are not re-encoded.
    target_compile_options(quorvane_common INTERFACE /W4 /permissive- /utf-8 /Zc:__cplusplus)
else()
    target_compile_options(quorvane_common INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                                                     -Woverloaded-virtual -Wold-style-cast)
endif()
if(WIN32)
    # Windows 7 and later (WSAPoll, the keep-alive ioctl); no min/max macros from <windows.h>. The
    # portable C and socket calls used here (fopen, inet_addr, ...) are not to be flagged by MSVC.
    target_compile_definitions(quorvane_common INTERFACE _WIN32_WINNT=0x0601 WIN32_LEAN_AND_MEAN NOMINMAX
                                                         _CRT_SECURE_NO_WARNINGS _WINSOCK_DEPRECATED_NO_WARNINGS)
endif()
if(QUORVANE_WERROR)
    target_compile_options(quorvane_common INTERFACE $<IF:$<CXX_COMPILER_ID:MSVC>,/WX,-Werror>)
endif()

if(WITH_ASAN AND WITH_TSAN)
    message(FATAL_ERROR "WITH_ASAN and WITH_TSAN cannot be combined")
endif()
if(WITH_ASAN)
    target_compile_options(quorvane_common INTERFACE -fsanitize=address,undefined -fno-sanitize-recover=all
                                                     -fno-omit-frame-pointer)
    target_link_options(quorvane_common INTERFACE -fsanitize=address,undefined -fno-sanitize-recover=all)
endif()
if(WITH_TSAN)
    target_compile_options(quorvane_common INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(quorvane_common INTERFACE -fsanitize=thread)
endif()

if(ENABLE_FUZZING)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "ENABLE_FUZZING needs clang (-DCMAKE_CXX_COMPILER=clang++)")
    endif()
    # The code under test needs the coverage instrumentation as much as the harnesses do.
    target_compile_options(quorvane_common INTERFACE -fsanitize=fuzzer-no-link)
    if(NOT WITH_ASAN)
        target_compile_options(quorvane_common INTERFACE -fsanitize=address,undefined -fno-sanitize-recover=all
                                                         -fno-omit-frame-pointer)
        target_link_options(quorvane_common INTERFACE -fsanitize=address,undefined -fno-sanitize-recover=all)
    endif()
endif()

# The Qt targets: texts are GBK bytes, never to be taken for UTF-8 or Latin-1 behind the code's back.
add_library(quorvane_gui_common INTERFACE)
target_compile_definitions(quorvane_gui_common INTERFACE QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII)

# Runs moc for a Qt target. The generated code is Qt's, not ours: it is not held to our warnings.
function(quorvane_enable_moc target)
    set_target_properties(${target} PROPERTIES AUTOMOC ON)
    get_target_property(binary_dir ${target} BINARY_DIR)
    set_source_files_properties(${binary_dir}/${target}_autogen/mocs_compilation.cpp
                                TARGET_DIRECTORY ${target} PROPERTIES COMPILE_OPTIONS
                                "$<$<NOT:$<CXX_COMPILER_ID:MSVC>>:-Wno-old-style-cast>")
endfunction()
