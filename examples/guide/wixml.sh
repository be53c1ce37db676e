#!/bin/sh
# wixml on the sample messages, as the guide shows it.
#   wixml.sh WIXML EXAMPLES_DIR SCRATCH_DIR
set -u
wixml=$1
mkdir -p "$3" && cp "$2/load-request.xml" "$2/save-reply.xml" "$3/" && cd "$3" || exit 2

#! [check]
"$wixml" check load-request.xml save-reply.xml
printf '<wi:CreateInput xmlns:wi="http://velmora.com/Schemas/MES/2010-09/WorkInstructions">\n  <wi:intProps key="n" value="4x"/>\n</wi:CreateInput>\n' > broken.xml
"$wixml" check --as CreateInput broken.xml 2>&1
echo "exit status $?"
#! [check]

#! [format]
"$wixml" format --indent 2 load-request.xml
"$wixml" format --envelope soap12 load-request.xml > wrapped.xml
"$wixml" check wrapped.xml
#! [format]

#! [diff]
sed 's/Dcd0815Torque/Dcd0816Torque/' save-reply.xml > changed.xml
"$wixml" diff save-reply.xml changed.xml
echo "exit status $?"
#! [diff]
