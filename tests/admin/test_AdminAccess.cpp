// orlenway-admin access: the forms an administrator types, over a repository made by the real
// svnadmin, with svnauthz checking what is written.
#include "AdminTestKit.h"
#include "projects/UfnAccessGroups.h"

using namespace admin_kit;

TEST_F(AdminTool, AccessSetShowCheckUnsetAndTheirRefusals) {
  CreateProject("app");
  const std::string conf = Repos + "/app/conf/svnserve.conf", authz = Repos + "/app/conf/authz";
  const std::string confBefore = ReadFile(conf), authzBefore = ReadFile(authz);

  EXPECT_EQ(Admin("access set app:/secret '*' none").ExitCode, 0);
  EXPECT_EQ(Admin("access set app:/secret kim rw").ExitCode, 0);
  TAdminRun refused = Admin("access set app kim r");
  EXPECT_EQ(refused.ExitCode, 1);
  EXPECT_NE(refused.Err.find("[/] * = rw"), std::string::npos) << refused.Err;
  EXPECT_EQ(Admin("access set app:/ @ghosts r").ExitCode, 1);

  TAdminRun show = Admin("access show app:/secret");
  EXPECT_EQ(show.ExitCode, 0);
  EXPECT_NE(show.Out.find("[/secret]\n  * = none\n  kim = rw\n"), std::string::npos) << show.Out;
  EXPECT_EQ(show.Out.find("[/]"), std::string::npos) << show.Out;

  TAdminRun kim = Admin("access check kim app:/secret/deep");
  EXPECT_EQ(kim.ExitCode, 0);
  EXPECT_EQ(kim.Out.substr(0, kim.Out.find('\n')), "rw");
  EXPECT_NE(kim.Out.find("kim: [/secret] kim = rw"), std::string::npos) << kim.Out;
  EXPECT_EQ(Admin("access check lee app:/secret").Out.substr(0, 5), "none\n");
  EXPECT_EQ(Admin("access check lee app").Out.substr(0, 3), "rw\n");
  TAdminRun anon = Admin("access check '$anonymous' app");
  EXPECT_EQ(anon.Out.substr(0, 5), "none\n");
  EXPECT_NE(anon.Out.find(std::string(kAccessAnonymous) + ": anon-access = none"),
            std::string::npos)
      << anon.Out;

  // The command line: exit 2, nothing written.
  const std::string rules = ReadFile(authz);
  for (const char* bad : {"access", "access set app kim", "access set app kim w",
                          "access set nosuch kim r", "access set app '~kim' r", "access frob app"})
    EXPECT_EQ(Admin(bad).ExitCode, 2) << bad;
  EXPECT_EQ(ReadFile(authz), rules);

  // A broken hand edit: shown with its reason, changes refused, restored on request.
  WriteFile(authz, rules + "[/x]\nkim = w\n");
  TAdminRun broken = Admin("access show app");
  EXPECT_EQ(broken.ExitCode, 1);
  EXPECT_NE(broken.Out.find("번째 줄"), std::string::npos);
  EXPECT_NE(broken.Out.find("Write-only"), std::string::npos) << broken.Out;
  EXPECT_EQ(Admin("access set app:/y lee r").ExitCode, 1);
  EXPECT_EQ(ReadFile(authz), rules + "[/x]\nkim = w\n");
  EXPECT_EQ(Admin("access restore app").ExitCode, 0);
  EXPECT_EQ(ReadFile(authz), rules);

  EXPECT_EQ(Admin("access unset app:/secret kim").ExitCode, 0);
  EXPECT_EQ(Admin("access unset app:/secret '*'").ExitCode, 0);
  EXPECT_EQ(Admin("access unset app:/secret '*'").ExitCode, 1);
  EXPECT_EQ(ReadFile(authz), authzBefore);
  EXPECT_EQ(ReadFile(conf), confBefore);
}

TEST_F(AdminTool, GroupsAreWrittenIntoEveryProjectThatUsesThem) {
  CreateProject("app");
  CreateProject("web");
  const std::string appRules = Repos + "/app/conf/authz", webRules = Repos + "/web/conf/authz";
  const std::string webBefore = ReadFile(webRules);
  EXPECT_EQ(Admin("group add devs kim").ExitCode, 0);
  EXPECT_EQ(Admin("access set app:/src @devs r").ExitCode, 0);
  EXPECT_EQ(Admin("access set app:/src @ghosts r").ExitCode, 1); // an unknown group
  EXPECT_NE(ReadFile(appRules).find("devs = kim\n"), std::string::npos);
  EXPECT_EQ(Admin("access check lee app:/src").Out.substr(0, 3), "rw\n");

  EXPECT_EQ(Admin("group add devs lee").ExitCode, 0);
  EXPECT_NE(ReadFile(appRules).find("devs = kim, lee\n"), std::string::npos);
  EXPECT_EQ(Admin("access check lee app:/src").Out.substr(0, 2), "r\n");
  EXPECT_EQ(ReadFile(webRules), webBefore); // a project that does not use the group
  EXPECT_EQ(Admin("group list").Out, "@devs = kim, lee\n");
  EXPECT_EQ(Shell("svnauthz validate " + Quote(appRules)).ExitCode, 0);

  TAdminRun named = Admin("group remove devs");
  EXPECT_EQ(named.ExitCode, 1);
  EXPECT_NE(named.Err.find("app: [/src] @devs = r"), std::string::npos) << named.Err;
  EXPECT_NE(named.Err.find(kGroupNamedByRules), std::string::npos) << named.Err;
  EXPECT_EQ(Admin("group remove devs kim").ExitCode, 0);
  EXPECT_NE(ReadFile(appRules).find("devs = lee\n"), std::string::npos);
  EXPECT_EQ(Admin("access unset app:/src @devs").ExitCode, 0);
  EXPECT_EQ(Admin("group remove devs").ExitCode, 0);
  EXPECT_EQ(Admin("group list").Out, "");
  EXPECT_EQ(ReadFile(appRules).find("devs ="), std::string::npos);
  EXPECT_EQ(Admin("group add 'bad name' kim").ExitCode, 2);
  EXPECT_EQ(Admin("group add devs").ExitCode, 2);
}
