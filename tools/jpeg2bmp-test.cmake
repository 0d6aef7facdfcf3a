# Runs jpeg2bmp as a user would: a baseline and a progressive picture
# decode to complete 24-bit bitmaps; a file the decoder refuses names the
# failing step, the result code and the message, exits non-zero and writes
# nothing.
# Arguments: -DTOOL=... -DDATA=... -DWORK=...
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

# Decodes DATA/input to WORK/output, which must be a bitmap of bytes bytes.
function(expect_bitmap input output bytes)
  execute_process(COMMAND "${TOOL}" "${DATA}/${input}" "${WORK}/${output}"
                  RESULT_VARIABLE result ERROR_VARIABLE errors)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "jpeg2bmp failed on ${input}: ${result} ${errors}")
  endif()
  file(SIZE "${WORK}/${output}" size)
  if(NOT size EQUAL bytes)
    message(FATAL_ERROR "${output}: a bitmap of ${size} bytes, expected ${bytes}")
  endif()
endfunction()

# 48 x 32: stride 144, 54 + 144 * 32 bytes.
expect_bitmap(tiny-420-restart2.jpg tiny.bmp 4662)
file(READ "${WORK}/tiny.bmp" header LIMIT 30 HEX)
# "BM", bfSize 4662, reserved, bfOffBits 54, biSize 40, width 48, height 32, 1 plane, 24 bits
set(expected "424d3612000000000000360000002800000030000000200000000100 1800")
string(REPLACE " " "" expected "${expected}")
if(NOT header STREQUAL expected)
  message(FATAL_ERROR "bitmap header ${header}, expected ${expected}")
endif()

# A progressive file: 256 x 171, stride 768.
expect_bitmap(rocket-progressive.jpg progressive.bmp 131382)

execute_process(COMMAND "${TOOL}" "${DATA}/rocket-420-arithmetic.jpg" "${WORK}/refused.bmp"
                RESULT_VARIABLE result ERROR_VARIABLE errors)
if(result EQUAL 0 OR EXISTS "${WORK}/refused.bmp")
  message(FATAL_ERROR "an arithmetic-coded file was not refused cleanly (${result})")
endif()
if(NOT errors MATCHES "AnalysisHeader failed: -2 \\(Not supported:arithmetic coding \\(marker 0xC9\\)\\)")
  message(FATAL_ERROR "unexpected message: ${errors}")
endif()

execute_process(COMMAND "${TOOL}" "${WORK}/no-such-file.jpg" "${WORK}/missing.bmp"
                RESULT_VARIABLE result ERROR_VARIABLE errors)
if(result EQUAL 0 OR EXISTS "${WORK}/missing.bmp" OR NOT errors MATCHES "cannot read")
  message(FATAL_ERROR "a missing input was not reported (${result}): ${errors}")
endif()
message(STATUS "jpeg2bmp: bitmaps written, refusal and missing input reported")
