# Compile settings shared by every target: the standard, warnings and the sanitizer switches.
option(WITH_ASAN "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(WITH_TSAN "Build with ThreadSanitizer" OFF)

add_library(quorvane_common INTERFACE)
target_compile_features(quorvane_common INTERFACE cxx_std_20)
if(MSVC)
    # Sources are UTF-8; GBK texts are written as byte escapes and are not re-encoded.
    target_compile_options(quorvane_common INTERFACE /W4 /permissive- /utf-8 /Zc:__cplusplus)
else()
    target_compile_options(quorvane_common INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor)
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
