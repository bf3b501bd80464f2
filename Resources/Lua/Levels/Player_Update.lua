-- Every frame, with the player object: arrows (or A/D, or the first pad's
-- stick through the keys) set the speed; Up or Space jumps while the player
-- stands on something (the message script marks each frame it does).
local player = ...
-- A landing bounces the body off the floor for a few frames: a touch in the
-- last tenth of a second still counts, unless the body is rising already.
if PLAYER_STANDING then
    PLAYER_GROUND_TIME = 0.1
else
    PLAYER_GROUND_TIME = (PLAYER_GROUND_TIME or 0) - getdt()
end
PLAYER_STANDING = false
local onGround = PLAYER_GROUND_TIME > 0
local body = player:GetComponent("PhysicsBody")
if not body then return end
local speed = 0
if IsKeyPressed(263) == 1 or IsKeyPressed(65) == 1 then speed = speed - 260 end
if IsKeyPressed(262) == 1 or IsKeyPressed(68) == 1 then speed = speed + 260 end
body:SetVelX(speed)
local jump = IsKeyPressed(265) == 1 or IsKeyPressed(32) == 1
if jump and onGround and body:GetVelY() < 100 then
    body:SetVelY(420)
    PLAYER_GROUND_TIME = 0
end
