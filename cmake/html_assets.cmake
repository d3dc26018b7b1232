# Turns the HTML report's style sheet and script into a header of string
# constants, each with the base64 SHA-256 of its bytes, so the page's
# Content-Security-Policy can allow exactly these two and nothing else.
#   cmake -DSTYLE=<css> -DSCRIPT=<js> -DOUTPUT=<header> -P cmake/html_assets.cmake

set(base64_alphabet "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/")

# The base64 form of the bytes written as hex digits.
function(base64_of_hex hex result)
  string(LENGTH "${hex}" digits)
  set(out "")
  set(at 0)
  while(at LESS digits)
    math(EXPR left "${digits} - ${at}")
    if(left GREATER 6)
      set(left 6)
    endif()
    string(SUBSTRING "${hex}" ${at} ${left} group)
    math(EXPR bytes "${left} / 2")
    # Three bytes make four characters; a short group is padded with zero
    # bits and its missing characters with '='.
    math(EXPR value "0x${group} << (8 * (3 - ${bytes}))")
    math(EXPR chars "${bytes} + 1")
    foreach(shift 18 12 6 0)
      if(chars GREATER 0)
        math(EXPR index "(${value} >> ${shift}) & 63")
        string(SUBSTRING "${base64_alphabet}" ${index} 1 char)
        string(APPEND out "${char}")
      else()
        string(APPEND out "=")
      endif()
      math(EXPR chars "${chars} - 1")
    endforeach()
    math(EXPR at "${at} + 6")
  endwhile()
  set(${result} "${out}" PARENT_SCOPE)
endfunction()

set(header "// Made by cmake/html_assets.cmake from ${STYLE} and ${SCRIPT}.\n")
string(APPEND header "#ifndef TARNWICK_REPORT_HTML_ASSETS_H\n#define TARNWICK_REPORT_HTML_ASSETS_H\n")
foreach(name Style Script)
  string(TOUPPER ${name} input)
  file(READ "${${input}}" text)
  if(text MATCHES "\\)asset\"")
    message(FATAL_ERROR "${${input}} holds the raw string's delimiter")
  endif()
  string(SHA256 digest "${text}")
  base64_of_hex(${digest} hash)
  string(APPEND header "inline constexpr const char kPage${name}[] = R\"asset(${text})asset\";\n")
  string(APPEND header "inline constexpr const char kPage${name}Hash[] = \"sha256-${hash}\";\n")
endforeach()
string(APPEND header "#endif\n")
# Rewritten only when it changes, so nothing else is rebuilt for nothing.
file(WRITE "${OUTPUT}.new" "${header}")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
