# groff finds no place to break a line of Japanese, which has no spaces: every two characters outside ASCII
# get a break point (\:) between them, except before the marks that may not open a line. Requests are left
# alone. Run in a UTF-8 locale.
/^\./!{
s/\([^ -~]\)\([^ -~]\)/\1\\:\2/g
s/\([^ -~]\)\([^ -~]\)/\1\\:\2/g
s/\\:\([、。）」』]\)/\1/g
}
