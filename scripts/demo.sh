#!/usr/bin/env bash
# The main job: builds the library and its program, then runs one working day
# of a new subscriber through the `brivos` program. The administrator sets up
# a tax code, a client, two staff members and a project; time is entered
# after the fact and through the live timer (--now replays each moment of the
# day); an expense goes on an expense report; the manager approves; a preview
# shows what invoicing will bill; InvoiceAllProjects bills it; the invoice is
# printed as text and written as HTML.
#
# BRIVOS_DATA names the directory of the subscriber file (a new temporary one
# by default); BRIVOS_BIN names a built program to use instead of building.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${BRIVOS_BIN:-}" ]; then
  bash scripts/setup.sh
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DBRIVOS_BUILD_TESTS=OFF >/dev/null
  cmake --build build -j "$(nproc)" --target brivos_cli >/dev/null
fi
brivos=${BRIVOS_BIN:-build/tools/brivos}
export BRIVOS_DATA=${BRIVOS_DATA:-$(mktemp -d)}
A=A100
rm -f "$BRIVOS_DATA/$A.mdb" "$BRIVOS_DATA/$A.mdb-wal" "$BRIVOS_DATA/$A.mdb-shm"

# `at HH:MM COMMAND...` runs the program at that moment of 5 March 2024.
at() { local time=$1; shift; "$brivos" --now "2024-03-05 $time" "$@"; }
say() { printf '%s  %s\n' "$1" "$2"; }

say 08:00 "Acme Consulting subscribes; its administrator signs in"
at 08:00 init "$A" --company "Acme Consulting" --user admin --password secret >/dev/null
admin=$(at 08:00 call CSecurityMgr BeginUserSession "$A" admin secret)

say 08:05 "the firm's profile, with the notes its invoices carry"
at 08:05 call CAccountMgr UpdateAccountBusinessInfo "$A" "Acme Consulting" \
  "1 Spring Garden Road" "" "" Halifax NS "B3J 1A1" Canada "902 555 0199" "" 0.55 "Net 30" \
  "Thank you for your business. Please pay by bank transfer to account 0042-1234." 0 >/dev/null

say 08:10 "a tax code with two taxes, PST charged on GST; a client on it"
tax=$(at 08:10 call CCIMgr AddTaxCode "$A" admin "$admin" Q "GST and PST" 5 GST false 7 PST \
  false true false)
client=$(at 08:10 call CCIMgr AddClient "$A" admin "$admin" "Northwind Traders" \
  "12 Harbour Road" "" Halifax NS "B3H 1A1" Canada "902 555 0100" "" "" "" "$tax" "" "Net 30")

say 08:15 "two staff members, Alice and Bob"
for who in "alice Alice Adams" "bob Bob Brown"; do
  read -r name first last <<<"$who"
  at 08:15 call CUserManager AddUserProfile "$A" admin "$admin" "$name" pw "$first" "$last" "" \
    null false 0 40 "$name@acme.example" 0 0 0 0 true >/dev/null
done
user_id() { at 08:15 call --get IUserID CUserManager GetUserProfile "$A" admin "$admin" "$A" "$1"; }

say 08:20 "a billable project in 15-minute chunks, two tasks, both on its staff"
project=$(at 08:20 call CProjectMgr AddProject "$A" admin "$admin" "Website relaunch" \
  "New public site" 2 2024-03-01 "" true 0 0 true 15 "$client" "$(user_id admin)")
design=$(at 08:20 call CProjectMgr AddTask "$A" admin "$admin" "$project" Design \
  "Page layouts" 2024-03-01 false null 0 null)
build=$(at 08:20 call CProjectMgr AddTask "$A" admin "$admin" "$project" Development \
  "Site build" 2024-03-01 false null 0 null)
at 08:20 call CProjectMgr AddStaff "$A" admin "$admin" "$project" "$(user_id alice)" \
  120 60 180 90 >/dev/null
bob_staff=$(at 08:20 call CProjectMgr AddStaff "$A" admin "$admin" "$project" \
  "$(user_id bob)" 95 50 140 75)

alice=$(at 09:02 call CSecurityMgr BeginUserSession "$A" alice pw)
bob=$(at 09:10 call CSecurityMgr BeginUserSession "$A" bob pw)
say 09:02 "Alice starts the timer on Design"
at 09:02 call CProjectMgr StartTransaction "$A" alice "$alice" "$design" "Home page layout" \
  >/dev/null
say 09:10 "Bob enters yesterday afternoon after the fact, and an evening of overtime"
yesterday=$(at 09:10 call CProjectMgr AddTransaction "$A" bob "$bob" "$project" 2024-03-04 \
  13 0 16 30 "Contact form" 1 95 50 75 140 "" "$build" "$bob_staff" false)
overtime=$(at 09:10 call CProjectMgr AddTransaction "$A" bob "$bob" "$project" 2024-03-04 \
  19 0 20 15 "Release to staging" 1 95 50 75 140 "" "$build" "$bob_staff" true)
say 10:20 "Alice pauses for a call: her stop rounds up to the next 15 minutes"
at 10:20 call CProjectMgr PauseActiveTransaction "$A" alice "$alice" >/dev/null
paused=$(at 10:45 call --get IProjectTransactionID CProjectMgr GetTransactionsForDay "$A" alice \
  "$alice" --date 2024-03-05)
say 10:45 "Alice restarts the paused slip"
at 10:45 call CProjectMgr RestartTransaction "$A" alice "$alice" "$paused" >/dev/null
say 12:30 "Alice stops the timer"
at 12:30 call CProjectMgr StopActiveTransaction "$A" alice "$alice" >/dev/null

say 13:00 "Bob puts a train fare in US dollars on an expense report"
report=$(at 13:00 call CUserManager AddExpenseReport "$A" bob "$bob" 0 "Client visit" \
  "Halifax, March" --date 2024-03-05 0 0 0 false null "")
expense=$(at 13:00 call CProjectMgr AddStaffExpense "$A" bob "$bob" "$report" 2024-03-05 "" "" \
  180 "Train to the client (USD)" "$project" 25 1.35 1 "VIA Rail" Halifax "" 0 0 0)
say 15:30 "Bob reviews code; that slip still awaits approval at invoicing time"
at 15:30 call CProjectMgr AddTransaction "$A" bob "$bob" "$project" 2024-03-05 14 0 15 30 \
  "Code review" 1 95 50 75 140 "" "$build" "$bob_staff" false >/dev/null

say 17:00 "the manager approves Alice's and Bob's slips, and the expense with a 10% markup"
for slip in $(at 17:00 call --get IProjectTransactionID CProjectMgr GetTransactionsForDay "$A" \
  alice "$alice" --date 2024-03-05) "$yesterday" "$overtime"; do
  at 17:00 call CProjectMgr UpdateTransactionStatus "$A" admin "$admin" "$slip" 2 >/dev/null
done
at 17:00 call CProjectMgr UpdateExpense "$A" admin "$admin" "$expense" 2024-03-05 "" "" 180 10 \
  "Train to the client (USD)" false true "$bob_staff" 25 1.35 1 "VIA Rail" Halifax "" 0 0 0 \
  >/dev/null

say 17:30 "what invoicing with a cutoff of today would do"
echo
at 17:30 preview "$A" --cutoff 2024-03-05
echo
say 17:35 "InvoiceAllProjects with that cutoff makes one trial invoice"
at 17:35 call CInvoiceMgr InvoiceAllProjects "$A" admin "$admin" --date 2024-03-05 >/dev/null
invoice=$(at 17:35 call --get IProjectInvoiceID CInvoiceMgr GetTrialInvoices "$A" admin "$admin")
echo
at 17:40 invoice "$A" "$invoice"
html="$BRIVOS_DATA/invoice-$invoice.html"
at 17:40 invoice "$A" "$invoice" --format html >"$html"
echo
echo "GetInvoiceTotal: $(at 17:40 call CInvoiceMgr GetInvoiceTotal "$A" admin "$admin" \
  "$invoice")"
echo "The invoice as a printable page: $html"

# The same invoice over HTTP: `brivos serve` on a free port, a bearer token
# from signing in, the invoice as JSON; the service stops with SIGTERM.
log="$BRIVOS_DATA/serve.log"
"$brivos" serve --listen 127.0.0.1:0 2>"$log" &
server=$!
trap 'kill "$server" 2>/dev/null || true' EXIT
for _ in $(seq 100); do grep -q "listening on" "$log" && break; sleep 0.05; done
url="$(sed -n 's/.*listening on \(http[^ ]*\).*/\1/p' "$log")/v1/accounts/$A"
token=$(curl -s -X POST "$url/sessions" -d '{"UserName":"admin","Password":"secret"}' |
  sed -n 's/.*"Token":"\([^"]*\)".*/\1/p')
total=$(curl -s -H "Authorization: Bearer $token" "$url/invoices/$invoice" |
  grep -o '"Total":"[^"]*"' | tail -1)
echo "Over HTTP, GET /v1/accounts/$A/invoices/$invoice with a bearer token: $total"
kill -TERM "$server"
wait "$server"
