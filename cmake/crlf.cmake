# cmake -DIN=<file> -DOUT=<file> -P crlf.cmake
# Copies a text file with every line ending in CR LF (a line that already
# does is not given a second CR), the line end that Windows tools expect.
file(READ "${IN}" text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${OUT}" "${text}")
