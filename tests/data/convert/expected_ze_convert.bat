vx.exe -set alice secret "Alice" "Smith"
vx.exe -del bob
vx.exe -set carol *star "Carol"
vx.exe -set dave (DELETE) "Dave"
vx.exe -set erin pw 
vx.exe -set frank pw "Frank" "Miller"
vx.exe -set gina pw "" "leading" "space"
vx.exe -set hal pw "say" "\"hi there:now\"a\|b"
vx.exe -set ivy pw "\"quoted:pipe\"" "x"
vx.exe -set jack onlypw 
vx.exe -del kim
vx.exe -set lee pw "a:b:c"
vx.exe -del mary
vx.exe -set ned n|pw "Ned\|Jones"
vx.exe -set oscar pw "tab	here"
