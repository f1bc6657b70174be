#!/bin/sh
# Echo page for Orvex's WAN address lookup: answers with the address the request came from,
# between Orvex's default delimiters "REMOTE_ADDR:" and "<br>". Any query (Orvex sends
# "?ver=<version>") is ignored.

# Only address characters go into the page, whatever the server put in REMOTE_ADDR.
address=$(printf '%s' "${REMOTE_ADDR:-}" | tr -cd '0-9A-Fa-f.:')

printf 'Content-Type: text/html\r\n'
printf 'Cache-Control: no-store\r\n'
printf '\r\n'
printf '<html><body>REMOTE_ADDR: %s<br></body></html>\n' "$address"
