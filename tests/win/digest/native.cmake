# Native half of the Windows decoder check (included by the native build):
# a tool that writes or checks the committed digests of the decoder's colour
# planes for the JPEG files in DecoderDigestFiles(), and a test that checks
# them, so the reference the Windows build is held to is the native output.
# After a deliberate change of the decoder's output, rewrite the list with
#   build/native/miravel_decoder_digest --write tests/win/digest/decoder-digests.txt .
set(_digest_dir ${PROJECT_SOURCE_DIR}/tests/win/digest)
add_executable(miravel_decoder_digest
  ${_digest_dir}/DecoderDigest.cpp ${_digest_dir}/decoder_digest_main.cpp)
target_link_libraries(miravel_decoder_digest PRIVATE miravel_jpeg)
add_test(NAME decoder_digests_match_native
  COMMAND miravel_decoder_digest --check ${_digest_dir}/decoder-digests.txt ${PROJECT_SOURCE_DIR})
