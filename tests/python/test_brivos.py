"""The brivos module on a new firm per test: values, calls, errors, threads."""
import datetime
import inspect
import threading
from decimal import Decimal as D

import pytest

import brivos

DAY = datetime.datetime(2024, 3, 4)


def mgr(name):
    return brivos.CreateObject("BRIVOS." + name)


@pytest.fixture
def firm(tmp_path):
    """(account, token, project, task, staff): a client, a project, a task, the admin on its
    staff at 120.1234 an hour."""
    acct = f"{tmp_path}\\A100"
    brivos.CreateSubscriberDatabase(acct, "Acme Consulting", "admin", "secret")
    who = (acct, "admin", mgr("CSecurityMgr").BeginUserSession(acct, "admin", "secret"))
    client = mgr("CCIMgr").AddClient(*who, "Northwind", *[""] * 10, None, "", "Net 30")
    admin = mgr("CUserManager").GetUserProfile(*who, acct, "admin").IUserID
    projects = mgr("CProjectMgr")
    project = projects.AddProject(*who, "Website", "", 2, DAY.date(), "", True, 0, 0, True, 15,
                                  client, admin)
    task = projects.AddTask(*who, project, "Design", "", DAY, False, None, 0, None)
    staff = projects.AddStaff(*who, project, admin, D("120.1234"), 60, 180, 90)
    return (*who[::2], project, task, staff)


CASES = [(v, v) for v in [0, -2**31, 2**31 - 1, 2.5, "", "é €", True, None, brivos.Empty,
                          D("0.0001"), D("-0.0001"), D("-922337203685477.5808"),
                          D("922337203685477.5807"), DAY.replace(hour=9, minute=5, second=1),
                          [1, "a", [None]]]] + [
    (2**53, float(2**53)), (D("1.5"), D("1.5000")), (D("2.50000"), D("2.5000")), ((1,), [1]),
    (DAY.date(), DAY), (DAY.replace(microsecond=500000), DAY.replace(second=1))]


def test_values_round_trip(firm):
    """GetProjectTaskActuals neither reads nor writes its last two arguments."""
    acct, token, project, task, _ = firm
    for value, expected in CASES:
        actuals, args = brivos.call(mgr("CProjectMgr"), "GetProjectTaskActuals",
                                    [acct, "admin", token, project, task, value, None])
        back = args[5]
        assert (back, type(back), str(back)) == (expected, type(expected), str(expected)), value
    assert actuals == [0, 0.0, brivos.Empty]


@pytest.mark.parametrize("value,number", [
    (D("0.00001"), 6), (D("922337203685477.5808"), 6), (D("-922337203685477.5809"), 6),
    (D("NaN"), 6), (2**53 + 1, 6), (-2**80, 6), (object(), 13), ({}, 13),
    (datetime.datetime(2024, 1, 1, tzinfo=datetime.timezone.utc), 13)])
def test_values_refused(value, number):
    with pytest.raises(brivos.Error) as raised:
        mgr("eTransStatusEnm").IsValidValue(value)
    assert raised.value.number == number


# Whole numbers as every front end takes them: an int within 32 bits, an exact float up to
# 2**53 either way, error 6 (None here) beyond.
WHOLE = [(2**31 - 1, 2**31 - 1), (-2**31, -2**31), (2**31, float(2**31)),
         (-2**31 - 1, float(-2**31 - 1)), (2**53, float(2**53)), (-2**53, float(-2**53)),
         (2**53 + 1, None), (-2**53 - 1, None), (2**63 - 1, None), (-2**63, None),
         (2**63, None), (2**64, None), (-2**64 - 1, None)]


def test_whole_numbers():
    """IsValidValue leaves its argument as it came."""
    for value, expected in WHOLE:
        if expected is None:
            with pytest.raises(brivos.Error) as raised:
                brivos.call(mgr("eTransStatusEnm"), "IsValidValue", [value])
            assert raised.value.number == 6, value
            continue
        _, (back,) = brivos.call(mgr("eTransStatusEnm"), "IsValidValue", [value])
        assert (back, type(back)) == (expected, type(expected)), value


def test_working_day(firm):
    """The README's script: a slip, approved, invoiced, totalled; values as stored."""
    acct, token, project, task, staff = firm
    projects = mgr("CProjectMgr")
    slip = projects.AddTransaction(acct, "admin", token, project, DAY, 9, 0, 10, 30, "Home page",
                                   1, D("120.1234"), 60, 90, 180, "", task, staff, False)
    assert projects.UpdateTransactionStatus(acct, "admin", token, slip, Status=2) is brivos.Empty
    invoicing = mgr("CInvoiceMgr")
    invoicing.InvoiceAllProjects(acct, "admin", token, CutoffDate=DAY.date())
    invoice = invoicing.GetTrialInvoices(acct, "admin", token)[0]
    total = invoicing.GetInvoiceTotal(acct, "admin", token, invoice.IProjectInvoiceID)
    assert str(total) == "180.1851"
    stored = projects.GetStaff(acct, "admin", token, staff)
    assert (str(stored.Rate), stored.rate, stored.to_dict()["Rate"]) == ("120.1234", D("120.1234"),
                                                                         D("120.1234"))
    assert projects.GetProject(acct, "admin", token, project).StartDate == DAY


def test_members_by_name(firm):
    acct, token, project, *_ = firm
    security = mgr("CSecurityMgr")
    session = security.getsyssession(token=token, ACCOUNT=acct)
    assert (session.UserName, session.username) == ("admin", "admin")
    assert session.to_dict()["Token"] == token and "Token" in dir(session)
    assert "GetSysSession" in dir(security) and "GetSysSession(Account, Token)" in security.__doc__
    assert list(inspect.signature(security.GetSysSession).parameters) == ["Account", "Token"]
    tasks = mgr("CProjectMgr").GetProject(acct, "admin", token, project).Tasks(acct)
    assert [t.Name for t in tasks] == ["Design"]


def test_written_back_arguments(firm):
    acct, token, project, *_ = firm
    args = [acct, "admin", token, "Long chunks", "", 2, DAY, "", True, 0, 0, True, 90, None, None]
    key, written = brivos.call(mgr("CProjectMgr"), "AddProject", args)
    assert written == args[:12] + [60] + args[13:] and key == project + 1
    named = dict(zip(inspect.signature(mgr("CProjectMgr").AddProject).parameters, args))
    _, written = brivos.call(mgr("CProjectMgr"), "addproject", named | {"TimeChunk": 0})
    assert written["TimeChunk"] == 1 and list(written) == list(named)


def test_collections_and_result_sets(firm):
    acct, token, *_ = firm
    rows = mgr("CReportMgr").ExecReportQuery(acct, "SELECT UserName, Admin FROM IUser")
    assert (list(rows), len(rows)) == ([{"UserName": "admin", "Admin": True}], 1)
    users = mgr("CUserManager").GetSubscriberUserProfiles(acct, "admin", token)
    key = str(users[0].IUserID)
    assert [u.UserName for u in users] + [users[-1].UserName, users[key].UserName] == ["admin"] * 3
    assert (len(users), users.Count(), users.Item(1).UserName) == (1, 1, "admin")
    with pytest.raises(IndexError):
        users[1]
    with pytest.raises(brivos.Error) as raised:
        users["999"]
    assert raised.value.number == 5


@pytest.mark.parametrize("call,number", [
    (lambda a, t: brivos.CreateObject("BRIVOS.IProject"), 429),
    (lambda a, t: mgr("CSecurityMgr").BeginUserSession(a, "admin", "wrong"), -2147221503),
    (lambda a, t: mgr("CSecurityMgr").GetSysSession(a, "no such token"), 9),
    (lambda a, t: mgr("CSecurityMgr").NoSuchMember, 438),
    (lambda a, t: mgr("CSecurityMgr").GetSysSession(a), 450),
    (lambda a, t: mgr("CSecurityMgr").GetSysSession(a, t, Token=t), 450),
    (lambda a, t: mgr("CSecurityMgr").GetSysSession(a, Tokn=t), 448),
    (lambda a, t: mgr("CSecurityMgr").GetSysSession(Account=a), 449),
    (lambda a, t: mgr("CSecurityMgr").GetSysSession(a, t, t), 450),
    (lambda a, t: mgr("CSecurityMgr").GetSysSession(a, Account=a), 450),
    (lambda a, t: mgr("CSecurityMgr").GetSysSession(a, Token=t, token=t), 450),
    (lambda a, t: mgr("CSecurityMgr").GetSysSession(a, Tokn=t, Account=a), 448),
    (lambda a, t: brivos.call(mgr("CSecurityMgr"), "GetSysSession", {}), 450),
    (lambda a, t: brivos.call(mgr("CSecurityMgr"), "GetSysSession", {"token": t}), 449),
    (lambda a, t: brivos.call(mgr("CSecurityMgr"), "GetSysSession", [a]), 450),
    (lambda a, t: mgr("CReportMgr").ExecReportQuery(a, "SELECT * FROM Nowhere"), -2147217900)])
def test_errors(firm, call, number):
    with pytest.raises(brivos.Error) as raised:
        call(firm[0], firm[1])
    e = raised.value
    assert (e.number, str(e)) == (number, e.description)
    assert e.description.endswith(f"\r\n >VelmarERR@{number}") and e.source.startswith("BRIVOS")
    assert not hasattr(mgr("CSecurityMgr"), "NoSuchMember")


def test_threads_draw_distinct_numbers(firm):
    acct, token, *_ = firm
    drawn = []

    def draw():
        account = mgr("CAccountMgr")
        drawn.extend(account.GetNextInvoiceNumber(acct, "admin", token) for _ in range(25))

    threads = [threading.Thread(target=draw) for _ in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert sorted(drawn) == list(range(1, 101))
